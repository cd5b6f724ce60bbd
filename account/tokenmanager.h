#pragma once

#include "account/serviceanswer.h"
#include "core/singleton.h"

#include <QObject>
#include <QString>

// Turns credentials into the access token every later account call carries:
// authorization code by password or SMS code, token, validation. Each call
// waits for its answer; the results land in CLoginInfo, the last failure
// stays here for the caller.
class CTokenManager : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CTokenManager)
public:
    ~CTokenManager() override = default;

    // Callers pass retryCount 0; 1 is the manager's own retry after a clock
    // correction.
    bool authCodeByPswd(const QString& account, const QString& password, int retryCount = 0);
    bool authCodeByVerCode(const QString& phone, const QString& verCode, int retryCount = 0);
    bool getToken(const QString& authCode);
    bool validateToken();

    QString errorCode() const { return m_errorCode; }
    QString errorMsg() const { return m_errorMsg; }
    bool tokenOK() const { return m_tokenOK; }

private:
    CTokenManager() = default;

    bool replyPswd(const CServiceAnswer& answer, const QString& account, const QString& password,
                   int retryCount);
    bool replyVerCode(const CServiceAnswer& answer, const QString& phone, int retryCount);
    bool replyGetToken(const CServiceAnswer& answer);
    bool replyValToken(const CServiceAnswer& answer);

    bool m_tokenOK = false;
    QString m_errorMsg;
    QString m_errorCode;
    QString m_lastVerCode;
};
