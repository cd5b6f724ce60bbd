#pragma once

#include "core/singleton.h"

#include <QJsonObject>
#include <QString>

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

private:
    CDplusTrack();
    QString userText();

    QJsonObject m_common;
    QString m_collectionAddress;
    QString m_lastUser;
    QString m_userText;
};
