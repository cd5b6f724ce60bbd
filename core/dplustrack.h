#pragma once

#include "core/singleton.h"

#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

// Reports named usage events ("启动APP", "用户登录", ...) to the analytics
// collector: one fire-and-forget GET per event whose query carries the event
// document as URL-safe Base64.
class CDplusTrack
{
    VANTELOR_SINGLETON(CDplusTrack)
public:
    ~CDplusTrack() = default;

    // True when a request was sent.
    bool track(const QString& eventName);

    // The query text track() would send for eventName now.
    QString encodedEvent(const QString& eventName);

    // The phone number of the signed-in user, none while nobody is signed in.
    // The login manager, which owns that state, installs the answer here.
    using SignedInUser = std::function<std::optional<QString>()>;
    static void setSignedInUser(SignedInUser signedInUser);

private:
    CDplusTrack();
    QString userText(const QString& phone);

    QJsonObject m_common;
    QString m_collectionAddress;
    QString m_lastUser;
    QString m_userText;
};
