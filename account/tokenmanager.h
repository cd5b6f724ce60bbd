#pragma once

#include "account/serviceanswer.h"
#include "account/signedrequest.h"
#include "core/singleton.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>

class CLoginInfo;

// Turns credentials into the access token every later account call carries:
// authorization code by password or SMS code, token, validation. Each call
// waits for its answer; the results land in CLoginInfo, the last failure
// stays here for the caller.
//
// One exchange is in flight at a time. Waits nest (a dialog can start a call
// while another one waits beneath it), so a new call, or cancel(), ends the
// one in flight: that call returns false once its wait unwinds, writes
// nothing and leaves the error texts to the newer call.
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

    // Ends the exchange in flight, if any.
    void cancel();
    // The last call returned false because a newer call or cancel() took over.
    bool wasSuperseded() const { return m_superseded; }

    QString errorCode() const { return m_errorCode; }
    QString errorMsg() const { return m_errorMsg; }
    bool tokenOK() const { return m_tokenOK; }

    // The content parsing of the token and validation answers: the token (and
    // with it the refresh token and validity) and the account id into info.
    // readToken is true when a successful answer carried a token.
    static bool readToken(const CServiceAnswer& answer, CLoginInfo& info);
    static void readAccountId(const CServiceAnswer& answer, CLoginInfo& info);

private:
    CTokenManager() = default;

    // Posts call and waits for its answer; false when superseded meanwhile.
    bool exchange(const CSignedRequest::Call& call, CServiceAnswer& answer);

    bool replyPswd(const CServiceAnswer& answer, const QString& account, const QString& password,
                   int retryCount);
    bool replyVerCode(const CServiceAnswer& answer, const QString& phone, int retryCount);
    bool replyGetToken(const CServiceAnswer& answer);
    bool replyValToken(const CServiceAnswer& answer);

    bool m_tokenOK = false;
    QString m_errorMsg;
    QString m_errorCode;
    QString m_lastVerCode;
    quint64 m_exchange = 0;
    QPointer<QNetworkReply> m_pending;
    bool m_superseded = false;
};
