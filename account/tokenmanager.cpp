#include "account/tokenmanager.h"

#include "account/accountlog.h"
#include "account/logininfo.h"
#include "account/signedrequest.h"
#include "core/apiconfig.h"

#include <QDebug>

void CTokenManager::cancel()
{
    ++m_exchange;
    if (QNetworkReply* reply = m_pending.data()) {
        m_pending = nullptr;
        // Ends the wait as soon as the waits above it have ended.
        reply->abort();
        reply->deleteLater();
    }
}

bool CTokenManager::exchange(const CSignedRequest::Call& call, CServiceAnswer& answer)
{
    cancel();
    const quint64 mine = m_exchange;
    QPointer<QNetworkReply> reply = CSignedRequest::post(call);
    m_pending = reply;
    CSignedRequest::waitFor(reply);
    if (mine != m_exchange) {
        qCDebug(lcAccount) << "CTokenManager: a newer call took over, this answer is dropped";
        m_superseded = true;
        return false;
    }
    m_pending = nullptr;
    answer = CSignedRequest::readAnswer(reply);
    return true;
}

bool CTokenManager::authCodeByPswd(const QString& account, const QString& password, int retryCount)
{
    m_superseded = false;
    if (account.isEmpty() || password.isEmpty()) {
        m_errorCode = "1";
        m_errorMsg = tr("用户名或密码为空");
        return false;
    }
    qCDebug(lcAccount) << "get authCode by pswd";
    const CSignedRequest::Call call(
        CApiConfig::UrlAuthCodeByPassword,
        CSignedRequest::Form()
            .field("account", account)
            .appCode()
            .device()
            .field("keyVersion", CApiConfig::instance()->slot(CApiConfig::KeyVersion))
            .field("password", password),
        CApiConfig::SignatureVersionA, {"account", "password"});
    CServiceAnswer answer;
    return exchange(call, answer) && replyPswd(answer, account, password, retryCount);
}

bool CTokenManager::replyPswd(const CServiceAnswer& answer, const QString& account, const QString& password,
                              int retryCount)
{
    if (answer.success) {
        CLoginInfo::instance()->authCode = answer.content.toString();
        qCDebug(lcAccount) << "authCode by pswd OK";
        return getToken(CLoginInfo::instance()->authCode);
    }
    if (retryCount < 1 && answer.timeOffsetChanged) {
        return authCodeByPswd(account, password, retryCount + 1);
    }
    answer.applyErrorTo(m_errorCode, m_errorMsg);
    qCDebug(lcAccount).noquote() << "authCode by pswd error:" << m_errorMsg << ", error code:" << m_errorCode;
    return false;
}

bool CTokenManager::authCodeByVerCode(const QString& phone, const QString& verCode, int retryCount)
{
    m_superseded = false;
    if (phone.isEmpty() || verCode.isEmpty()) {
        m_errorCode = "1";
        m_errorMsg = tr("用户名或验证码为空");
        return false;
    }
    m_lastVerCode = verCode;
    qCDebug(lcAccount) << "get authCode by vercode";
    const CSignedRequest::Call call(CApiConfig::UrlAuthCodeBySmsCode,
                                    CSignedRequest::Form()
                                        .field("account", phone)
                                        .appCode()
                                        .device()
                                        .field("phoneCode", verCode)
                                        .field("type", "PHONECODE_LOGIN"),
                                    CApiConfig::SignatureVersionA);
    CServiceAnswer answer;
    return exchange(call, answer) && replyVerCode(answer, phone, retryCount);
}

bool CTokenManager::replyVerCode(const CServiceAnswer& answer, const QString& phone, int retryCount)
{
    if (answer.success) {
        CLoginInfo::instance()->authCode = answer.content.toString();
        qCDebug(lcAccount) << "authCode by vercode OK";
        return getToken(CLoginInfo::instance()->authCode);
    }
    if (retryCount < 1 && answer.timeOffsetChanged) {
        return authCodeByVerCode(phone, m_lastVerCode, retryCount + 1);
    }
    answer.applyErrorTo(m_errorCode, m_errorMsg);
    qCDebug(lcAccount).noquote() << "authCode by vercode error:" << m_errorMsg << ", error code"
                                 << m_errorCode;
    return false;
}

bool CTokenManager::getToken(const QString& authCode)
{
    m_superseded = false;
    if (authCode.isEmpty()) {
        m_errorCode = "1";
        m_errorMsg = tr("授权码为空");
        return false;
    }
    qCDebug(lcAccount) << "get token";
    const CSignedRequest::Call call(CApiConfig::UrlTokenFromAuthCode,
                                    CSignedRequest::Form().appCode().field("authCode", authCode).device(),
                                    CApiConfig::SignatureVersionA);
    CServiceAnswer answer;
    return exchange(call, answer) && replyGetToken(answer);
}

bool CTokenManager::readToken(const CServiceAnswer& answer, CLoginInfo& info)
{
    const QJsonObject content = answer.content.toObject();
    info.accessToken = content.value("accessToken").toString();
    if (info.accessToken.isEmpty() || !answer.success) {
        return false;
    }
    info.refreshToken = content.value("refreshToken").toString();
    info.validityTime = QString::number(content.value("validityTime").toVariant().toLongLong());
    return true;
}

void CTokenManager::readAccountId(const CServiceAnswer& answer, CLoginInfo& info)
{
    info.accountId = QString::number(answer.content.toObject().value("id").toVariant().toLongLong());
}

bool CTokenManager::replyGetToken(const CServiceAnswer& answer)
{
    if (readToken(answer, *CLoginInfo::instance())) {
        m_tokenOK = true;
        qCDebug(lcAccount) << "token OK";
        return true;
    }
    // A "success" without a token is a failure all the same, with whatever
    // text the answer or the transfer left.
    if (answer.success) {
        m_errorCode = answer.errorCode;
    } else {
        answer.applyErrorTo(m_errorCode, m_errorMsg);
    }
    m_tokenOK = false;
    qCDebug(lcAccount).noquote() << "token error" << m_errorMsg;
    return false;
}

bool CTokenManager::validateToken()
{
    m_superseded = false;
    qCDebug(lcAccount) << "validate token";
    const CSignedRequest::Call call(
        CApiConfig::UrlValidateToken,
        CSignedRequest::Form().field("accessToken", CLoginInfo::instance()->accessToken).appCode().device(),
        CApiConfig::SignatureVersionA);
    CServiceAnswer answer;
    return exchange(call, answer) && replyValToken(answer);
}

bool CTokenManager::replyValToken(const CServiceAnswer& answer)
{
    if (answer.success) {
        qCDebug(lcAccount) << "validate OK";
        readAccountId(answer, *CLoginInfo::instance());
        return true;
    }
    answer.applyErrorTo(m_errorCode, m_errorMsg);
    qCDebug(lcAccount).noquote() << "validate error" << m_errorMsg;
    return false;
}
