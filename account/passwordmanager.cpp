#include "account/passwordmanager.h"

#include "account/accountlog.h"
#include "account/logininfo.h"
#include "account/signedrequest.h"
#include "account/tokenmanager.h"
#include "core/apiconfig.h"
#include "core/dplustrack.h"
#include "core/serviceerrors.h"

#include <QDebug>

QString CPasswordManager::noAnswerText()
{
    return CSignedRequest::networkErrorText(QNetworkReply::TimeoutError);
}

bool CPasswordManager::changePassword(const QString& oldPassword, const QString& newPassword)
{
    if (!CTokenManager::instance()->tokenOK()) {
        m_errorMsg = tr("令牌问题导致无法修改密码");
        emit signalPasswordState("1", m_errorMsg);
        return false;
    }
    qCDebug(lcAccount) << "CPasswordManager: changePassword";
    const CServiceAnswer answer =
        CSignedRequest::exchange({CApiConfig::UrlChangePassword,
                                  CSignedRequest::Form()
                                      .session()
                                      .field("account", CLoginInfo::instance()->phone)
                                      .appCode()
                                      .device()
                                      .field("newPassword", newPassword)
                                      .field("oldPassword", oldPassword),
                                  CApiConfig::SignatureVersionA},
                                 kAnswerLimitMs);
    return replyPasswordCall(answer, "changePassword", "修改密码", true);
}

bool CPasswordManager::resetPassword(const QString& newPassword)
{
    if (!CTokenManager::instance()->tokenOK()) {
        m_errorMsg = tr("令牌问题导致无法重置密码");
        emit signalPasswordState("1", m_errorMsg);
        return false;
    }
    qCDebug(lcAccount) << "CPasswordManager: resetPassword";
    const CServiceAnswer answer = CSignedRequest::exchange(
        {CApiConfig::UrlResetPassword,
         CSignedRequest::Form().session().appCode().device().field("newPassword", newPassword),
         CApiConfig::SignatureVersionA},
        kAnswerLimitMs);
    return replyPasswordCall(answer, "resetPassword", "重置密码", false);
}

bool CPasswordManager::replyPasswordCall(const CServiceAnswer& answer, const char* operation,
                                         const char* usageEvent, bool isChange)
{
    if (answer.success) {
        qCDebug(lcAccount).noquote() << QString("CPasswordManager: %1 OK").arg(operation);
        emit signalPasswordState("0", "");
        CDplusTrack::instance()->track(QString::fromUtf8(usageEvent));
        return true;
    }
    readPasswordAnswer(answer, isChange, m_errorMsg);
    emit signalPasswordState("1", m_errorMsg);
    qCDebug(lcAccount).noquote() << QString("CPasswordManager: %1 error").arg(operation) << m_errorMsg;
    return false;
}

bool CPasswordManager::readPasswordAnswer(const CServiceAnswer& answer, bool isChange, QString& errorMsg)
{
    if (answer.success) {
        return true;
    }
    QString ignoredCode;
    // An answer that did not come in time must not be shown with the text of
    // an earlier failure.
    errorMsg = answer.unfinished ? noAnswerText() : errorMsg;
    answer.applyErrorTo(ignoredCode, errorMsg);
    if (isChange && errorMsg == QString::fromUtf8(ServiceErrors::kPasswordCheckFailedText)) {
        errorMsg.prepend(QString::fromUtf8("原"));
    }
    return false;
}

bool CPasswordManager::modifyProfile(const QString& personJson)
{
    if (!CTokenManager::instance()->tokenOK()) {
        m_errorMsg = tr("令牌问题导致无法修改个人信息");
        emit signalProfileState("1", m_errorMsg);
        return false;
    }
    qCDebug(lcAccount) << "CPasswordManager: modifyProfile";
    const CServiceAnswer answer =
        CSignedRequest::exchange({CApiConfig::UrlModifyProfile,
                                  CSignedRequest::Form().session().device().field("personJson", personJson),
                                  CApiConfig::SignatureVersionB},
                                 kAnswerLimitMs, false);
    return replyModifyProfile(answer);
}

bool CPasswordManager::replyModifyProfile(const CServiceAnswer& answer)
{
    if (answer.networkError != QNetworkReply::NoError || answer.unfinished) {
        qCDebug(lcAccount) << "CPasswordManager: Http connect error:" << int(answer.networkError);
    }
    if (readProfileAnswer(answer, m_errorMsg)) {
        qCDebug(lcAccount) << "CPasswordManager: modifyProfile OK";
        emit signalProfileState("0", "");
        return true;
    }
    emit signalProfileState("1", m_errorMsg);
    return false;
}

bool CPasswordManager::readProfileAnswer(const CServiceAnswer& answer, QString& errorMsg)
{
    if (answer.networkError != QNetworkReply::NoError || answer.unfinished) {
        errorMsg = tr("无法连接到服务器");
        return false;
    }
    if (answer.success) {
        return true;
    }
    errorMsg = answer.object.value("errorMsg").toString();
    return false;
}
