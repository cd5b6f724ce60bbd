#pragma once

#include "account/serviceanswer.h"
#include "core/singleton.h"

#include <QObject>
#include <QString>

// Changes the signed-in user's password, sets a new one after an SMS-code
// authorization, and saves the edited profile. Each call needs the token
// manager's token and waits at most kAnswerLimitMs; outcomes also arrive as
// "0" (success) or "1" with the text.
class CPasswordManager : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CPasswordManager)
public:
    ~CPasswordManager() override = default;

    bool changePassword(const QString& oldPassword, const QString& newPassword);
    bool resetPassword(const QString& newPassword);
    bool modifyProfile(const QString& personJson);

    QString errorMsg() const { return m_errorMsg; }

    static constexpr int kAnswerLimitMs = 3000;

    // The answer parsing of the calls: true on success; otherwise errorMsg
    // (the text held so far) becomes the text to show. isChange: the change
    // of a known password, whose failed check names the old password.
    static bool readPasswordAnswer(const CServiceAnswer& answer, bool isChange, QString& errorMsg);
    static bool readProfileAnswer(const CServiceAnswer& answer, QString& errorMsg);

signals:
    void signalPasswordState(QString errorCode, QString errorMsg);
    void signalProfileState(QString errorCode, QString errorMsg);

private:
    CPasswordManager() = default;

    bool replyPasswordCall(const CServiceAnswer& answer, const char* operation, const char* usageEvent,
                           bool isChange);
    bool replyModifyProfile(const CServiceAnswer& answer);
    // The failure text of an answer that did not come in time.
    static QString noAnswerText();

    QString m_errorMsg;
};
