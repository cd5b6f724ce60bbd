#pragma once

#include "core/singleton.h"

#include <QObject>
#include <QString>

class CLoginInfo;
struct CServiceAnswer;

// Registration of a new account for the signup dialog: the registration SMS
// code, the pre-created account, then its token, validation and the join of
// the inviting company. State codes of signalSignupState: "1" sending the code
// failed, "2" code sent, "3" pre-creation failed, "4" account pre-created.
class CSignupManager : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CSignupManager)
public:
    ~CSignupManager() override = default;

    void sendVerCode(const QString& phone);
    void preCreateAccount(const QString& phone, const QString& verificationCode);
    // Waits at most kJoinLimitMs.
    bool invitatedJoin();

    static constexpr int kJoinLimitMs = 3000;

    // The content parsing of the pre-creation answer: on success the
    // authorization code into info, and true.
    static bool readPreCreation(const CServiceAnswer& answer, CLoginInfo& info);

signals:
    void signalSignupState(QString errorCode, QString errorMsg);

private slots:
    void replySendVerCode();
    void replyPreCreatAccount();

private:
    CSignupManager() = default;

    QString m_errorMsg;
};
