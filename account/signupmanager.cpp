#include "account/signupmanager.h"

#include "account/accountlog.h"
#include "account/logininfo.h"
#include "account/signedrequest.h"
#include "account/tokenmanager.h"
#include "core/apiconfig.h"
#include "core/dplustrack.h"

#include <QDebug>
#include <QPointer>

namespace {
// The answer of the reply that finished, through the common handling; the
// caller's text stays unless the answer brings its own.
CServiceAnswer finishedAnswer(QObject* sender, QString& errorMsg)
{
    QPointer<QNetworkReply> reply = qobject_cast<QNetworkReply*>(sender);
    const CServiceAnswer answer = CSignedRequest::readAnswer(reply, true);
    QString ignoredCode;
    answer.applyErrorTo(ignoredCode, errorMsg);
    return answer;
}
} // namespace

void CSignupManager::sendVerCode(const QString& phone)
{
    qCDebug(lcAccount) << "CSignupManager: Send VerCode";
    QNetworkReply* reply = CSignedRequest::post(
        {CApiConfig::UrlSendSmsCode,
         CSignedRequest::Form().field("account", phone).appCode().device().field("type", "ACCOUNT_CREATE"),
         CApiConfig::SignatureVersionA});
    if (reply) {
        connect(reply, &QNetworkReply::finished, this, &CSignupManager::replySendVerCode);
    }
}

void CSignupManager::replySendVerCode()
{
    const CServiceAnswer answer = finishedAnswer(sender(), m_errorMsg);
    if (!answer.received) {
        return;
    }
    if (answer.success) {
        qCDebug(lcAccount) << "CSignupManager: Send VerCode OK";
        emit signalSignupState("2", "");
        return;
    }
    emit signalSignupState("1", m_errorMsg);
    qCDebug(lcAccount).noquote() << "CSignupManager: Send VerCode error" << m_errorMsg;
}

void CSignupManager::preCreateAccount(const QString& phone, const QString& verificationCode)
{
    qCDebug(lcAccount) << "CSignupManager: preCreateAccount";
    QNetworkReply* reply = CSignedRequest::post({CApiConfig::UrlPreCreateAccount,
                                                 CSignedRequest::Form()
                                                     .field("account", phone)
                                                     .appCode()
                                                     .device()
                                                     .field("verificationCode", verificationCode),
                                                 CApiConfig::SignatureVersionA});
    if (reply) {
        connect(reply, &QNetworkReply::finished, this, &CSignupManager::replyPreCreatAccount);
    }
    CLoginInfo::instance()->phone = phone;
}

void CSignupManager::replyPreCreatAccount()
{
    const CServiceAnswer answer = finishedAnswer(sender(), m_errorMsg);
    if (!answer.received) {
        return;
    }
    if (!answer.success) {
        emit signalSignupState("3", m_errorMsg);
        qCDebug(lcAccount).noquote() << "CSignupManager: preCreateAccount error" << m_errorMsg;
        return;
    }
    const auto& info = CLoginInfo::instance();
    readPreCreation(answer, *info);
    qCDebug(lcAccount) << "CSignupManager: preCreateAccount OK";
    emit signalSignupState("4", "");
    const auto& tokens = CTokenManager::instance();
    if (tokens->getToken(info->authCode) && tokens->validateToken()) {
        invitatedJoin();
        CDplusTrack::instance()->track(QString::fromUtf8("用户注册"));
    }
}

bool CSignupManager::readPreCreation(const CServiceAnswer& answer, CLoginInfo& info)
{
    if (!answer.success) {
        return false;
    }
    info.authCode = answer.content.toString();
    return true;
}

bool CSignupManager::invitatedJoin()
{
    qCDebug(lcAccount) << "CSignupManager: invitatedJoin";
    const CServiceAnswer answer =
        CSignedRequest::exchange({CApiConfig::UrlJoinInvitingCompany,
                                  CSignedRequest::Form().session().device(), CApiConfig::SignatureVersionB},
                                 kJoinLimitMs);
    if (answer.success) {
        qCDebug(lcAccount) << "CSignupManager: invitatedJoin OK";
        return true;
    }
    QString ignoredCode;
    answer.applyErrorTo(ignoredCode, m_errorMsg);
    qCDebug(lcAccount).noquote() << "CSignupManager: invitatedJoin error"
                                 << (answer.unfinished ? "no answer in time" : m_errorMsg);
    return false;
}
