#include "account/loginmanager.h"
#include "core/logtext.h"

#include "account/accountlog.h"
#include "account/logininfo.h"
#include "account/printbridge.h"
#include "account/signedinuser.h"
#include "account/signedrequest.h"
#include "account/tokenmanager.h"
#include "core/apiconfig.h"
#include "core/cipher.h"
#include "core/dplustrack.h"
#include "core/localconfig.h"
#include "core/serviceerrors.h"
#include "core/singlenetworkmanger.h"

#include <QBuffer>
#include <QDateTime>
#include <QDebug>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QTimerEvent>
#include <QUrl>

namespace {
const char* const kAttemptProperty = "loginAttempt";
const char* const kUnLoginImage = ":/wid/res/login/unLogin.png";

int& ticketTickMs()
{
    static int ms = CLoginManager::kTicketTickMs;
    return ms;
}

// The photo is shown a few dozen pixels wide: a picture that would decode to
// more than this is refused before any pixel is decoded.
constexpr qint64 kMaxPhotoPixels = 4096 * 4096;

QImage decodePhoto(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxPhotoPixels) {
        qCDebug(lcAccount) << "Load user photo error: picture of" << size << "not decoded";
        return QImage();
    }
    return reader.read();
}

// The body of the ticket and logout calls.
CSignedRequest::FormFields tokenFields()
{
    return CSignedRequest::Form()
        .field("accessToken", CLoginInfo::instance()->accessToken)
        .appCode()
        .device();
}
} // namespace

void CLoginManager::setTicketTickForTesting(int ms)
{
    ticketTickMs() = ms > 0 ? ms : kTicketTickMs;
}

void CLoginManager::setPrintFetchLimitForTesting(int ms)
{
    CPrintBridge::setFetchLimitForTesting(ms);
}

CLoginManager::CLoginManager() : m_printBridge(new CPrintBridge(this))
{
    QPointer<CLoginManager> self(this);
    CSignedInUser::setProvider([self] { return self && self->isLoggedIn(); });
    CDplusTrack::setSignedInUser([self]() -> std::optional<QString> {
        if (self && self->isLoggedIn()) {
            return CLoginInfo::instance()->phone;
        }
        return std::nullopt;
    });
    // The remembered-password sign-in waits on the service; the window that
    // creates this manager shows first.
    QTimer::singleShot(0, this, &CLoginManager::autoLogin);
    qCDebug(lcAccount) << "CLoginManager constructor";
}

CLoginManager::~CLoginManager()
{
    if (m_ticketTimerId != -1) {
        killTimer(m_ticketTimerId);
    }
}

bool CLoginManager::userName(QString& out) const
{
    if (!m_loggedIn) {
        out = tr("未登录");
    } else {
        const QString name = CLoginInfo::instance()->name;
        out = name.isEmpty() ? QStringLiteral("Guest") : name;
    }
    return true;
}

bool CLoginManager::userPhoto(QImage& out) const
{
    const QImage& photo = CLoginInfo::instance()->photo;
    out = m_loggedIn && !photo.isNull() ? photo : QImage(kUnLoginImage);
    return true;
}

void CLoginManager::companyNames(QStringList& out) const
{
    out = CLoginInfo::instance()->companyNames;
}

void CLoginManager::loginPswd(const QString& phoneNum, const QString& password)
{
    loginPswd(phoneNum, password, true);
}

void CLoginManager::cancelSignIn()
{
    if (dropAttemptInFlight()) {
        CLoginInfo::instance()->clear();
    }
}

bool CLoginManager::dropAttemptInFlight()
{
    if (!m_signingIn) {
        return false;
    }
    qCDebug(lcAccount) << "CLoginManager: sign-in in progress cancelled";
    ++m_attempt;
    m_signingIn = false;
    CTokenManager::instance()->cancel();
    return true;
}

void CLoginManager::beginAttempt()
{
    // The record is the new attempt's to fill (or, signing in with the token
    // held, already its own): it is not cleared here.
    dropAttemptInFlight();
    ++m_attempt;
    m_signingIn = true;
}

bool CLoginManager::attemptGoesOn(quint64 attempt, bool tokenCallOk)
{
    if (attempt != m_attempt) {
        return false;
    }
    if (!tokenCallOk && CTokenManager::instance()->wasSuperseded()) {
        // Someone else's token call ended this one's wait: nothing it holds is this attempt's.
        qCDebug(lcAccount) << "CLoginManager: sign-in overtaken by another token call";
        ++m_attempt;
        m_signingIn = false;
        CLoginInfo::instance()->clear();
        return false;
    }
    return true;
}

void CLoginManager::reportAttempt(const QString& errorCode, const QString& errorMsg)
{
    m_signingIn = false;
    // A failure without any text (the answer was empty, not JSON or not an
    // envelope) must not reach the dialog as an empty message.
    const bool failed = errorCode != QLatin1String("0");
    emit signalLogState(errorCode, failed && errorMsg.isEmpty()
                                       ? CSignedRequest::networkErrorText(QNetworkReply::NoError)
                                       : errorMsg);
}

void CLoginManager::loginPswd(const QString& phoneNum, const QString& password, bool bPswdNeedEn)
{
    beginAttempt();
    const auto& info = CLoginInfo::instance();
    info->clear();
    // Empty credentials go on as they are: the token manager refuses them
    // without a call. Anything else leaves only encrypted.
    QString account;
    QString pwd = password;
    const bool encrypted =
        (phoneNum.isEmpty() || CCipher::instance()->rsaEncryptBase64(phoneNum, account)) &&
        (!bPswdNeedEn || password.isEmpty() || CCipher::instance()->rsaEncryptBase64(password, pwd));
    if (!encrypted) {
        qCDebug(lcAccount) << "CLoginManager: credentials could not be encrypted";
        reportAttempt(QString::fromLatin1(kEncryptionFailedCode), tr("账号或密码加密失败,无法登录"));
        return;
    }
    info->phone = phoneNum;
    info->account = account;
    info->password = pwd;
    const quint64 attempt = m_attempt;
    const bool ok = CTokenManager::instance()->authCodeByPswd(account, pwd, 0);
    if (attemptGoesOn(attempt, ok)) {
        continueAfterCredentials(ok);
    }
}

void CLoginManager::loginVer(const QString& phoneNum, const QString& verCode)
{
    beginAttempt();
    const auto& info = CLoginInfo::instance();
    info->clear();
    info->phone = phoneNum;
    const quint64 attempt = m_attempt;
    const bool ok = CTokenManager::instance()->authCodeByVerCode(phoneNum, verCode, 0);
    if (attemptGoesOn(attempt, ok)) {
        continueAfterCredentials(ok);
    }
}

void CLoginManager::loginByToken()
{
    const auto& tokens = CTokenManager::instance();
    if (!tokens->tokenOK() || CLoginInfo::instance()->accessToken.isEmpty()) {
        return;
    }
    beginAttempt();
    continueAfterCredentials(true);
}

void CLoginManager::continueAfterCredentials(bool credentialsOk)
{
    const auto& tokens = CTokenManager::instance();
    if (!credentialsOk) {
        reportAttempt(tokens->errorCode(), tokens->errorMsg());
        return;
    }
    const quint64 attempt = m_attempt;
    const bool valid = tokens->validateToken();
    if (!attemptGoesOn(attempt, valid)) {
        return;
    }
    if (!valid) {
        reportAttempt(tokens->errorCode(), tokens->errorMsg());
        return;
    }
    requestCompanyList();
}

void CLoginManager::watch(QNetworkReply* reply, void (CLoginManager::*finished)(), bool reportErrors)
{
    if (!reply) {
        return;
    }
    reply->setProperty(kAttemptProperty, m_attempt);
    connect(reply, &QNetworkReply::finished, this, finished);
    if (reportErrors) {
        connect(reply, &QNetworkReply::errorOccurred, this, &CLoginManager::responseError);
    }
}

QPointer<QNetworkReply> CLoginManager::finishedReply()
{
    QPointer<QNetworkReply> reply = qobject_cast<QNetworkReply*>(sender());
    if (reply && reply->property(kAttemptProperty).toULongLong() != m_attempt) {
        reply->deleteLater();
        return nullptr;
    }
    return reply;
}

void CLoginManager::responseError(QNetworkReply::NetworkError code)
{
    qCDebug(lcAccount) << "Http connect error:" << int(code);
}

void CLoginManager::requestCompanyList()
{
    qCDebug(lcAccount) << "get CompanyId";
    watch(CSignedRequest::post(
              {CApiConfig::UrlCompanyList, CSignedRequest::Form().session(), CApiConfig::SignatureVersionB}),
          &CLoginManager::replyGetComId, true);
}

void CLoginManager::replyGetComId()
{
    QPointer<QNetworkReply> reply = finishedReply();
    if (!reply) {
        return;
    }
    const CServiceAnswer answer = CSignedRequest::readAnswer(reply, false);
    const auto& info = CLoginInfo::instance();
    if (answer.success) {
        qCDebug(lcAccount) << "CompanyId OK";
        readCompanies(answer.content, *info);
    } else {
        answer.applyErrorTo(info->errorCode, info->errorMsg, CServiceAnswer::Take::AsItCame);
        qCDebug(lcAccount).noquote() << "CompanyId error:" << info->errorCode << info->errorMsg;
    }
    requestPersonDetail();
}

void CLoginManager::readCompanies(const QJsonValue& content, CLoginInfo& info)
{
    // A sign-in again with the token held must not add the companies twice.
    info.companyIds.clear();
    info.companyNames.clear();
    for (const QJsonValue& value : content.toArray()) {
        const QJsonObject company = value.toObject();
        const qint64 id = company.value("companyId").toVariant().toLongLong();
        const QString name = company.value("name").toString();
        if (company.value("isDefault").toBool()) {
            info.companyIds.prepend(id);
            info.companyNames.prepend(name);
        } else {
            info.companyIds.append(id);
            info.companyNames.append(name);
        }
    }
}

void CLoginManager::requestPersonDetail()
{
    qCDebug(lcAccount) << "Get Person Detail";
    watch(CSignedRequest::post(
              {CApiConfig::UrlPersonDetail,
               CSignedRequest::Form().session().field("targetAccountId", CLoginInfo::instance()->accountId),
               CApiConfig::SignatureVersionB}),
          &CLoginManager::replyGetPerDetail, true);
}

void CLoginManager::replyGetPerDetail()
{
    QPointer<QNetworkReply> reply = finishedReply();
    if (!reply) {
        return;
    }
    const CServiceAnswer answer = CSignedRequest::readAnswer(reply, false);
    const auto& info = CLoginInfo::instance();
    if (!answer.success) {
        answer.applyErrorTo(info->errorCode, info->errorMsg, CServiceAnswer::Take::AsItCame);
        qCDebug(lcAccount).noquote() << "Person Detail error:" << info->errorCode << info->errorMsg;
        reportAttempt(info->errorCode, info->errorMsg);
        return;
    }
    qCDebug(lcAccount) << "Person Detail OK";
    readPerson(answer.content, *info);
    reportAttempt("0", "");
    endLoginSequence();
}

void CLoginManager::readPerson(const QJsonValue& content, CLoginInfo& info)
{
    const QJsonObject person = content.toObject();
    info.personJson = QString::fromUtf8(QJsonDocument(person).toJson(QJsonDocument::Compact));
    info.name = person.value("name").toString();
    info.avatarUrl = person.value("avatarUrl").toString();
}

void CLoginManager::endLoginSequence()
{
    qCDebug(lcAccount) << "End of Login sequence";
    m_loggedIn = true;
    emit signalLogin();
    m_printBridge->start();
    CDplusTrack::instance()->track(QString::fromUtf8("用户登录"));
    getAcessTicket();
    loadUserPhoto();
}

void CLoginManager::loadUserPhoto()
{
    const QUrl url = QUrl::fromUserInput(CLoginInfo::instance()->avatarUrl);
    // The address comes from the service: only a web address is fetched,
    // never a local file.
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        if (url.isValid()) {
            qCDebug(lcAccount).noquote() << "CLoginManager user photo url refused:" << url.scheme();
        }
        CLoginInfo::instance()->photo = QImage();
        emit signalUserPhotoChange();
        return;
    }
    qCDebug(lcAccount).noquote() << "CLoginManager user photo url" << url.toString();
    qCDebug(lcAccount) << "Load user photo";
    watch(CSingleNetworkManger::instance()->manager()->get(QNetworkRequest(url)),
          &CLoginManager::replyUserPhoto, false);
}

void CLoginManager::replyUserPhoto()
{
    QPointer<QNetworkReply> reply = finishedReply();
    if (!reply) {
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        qCDebug(lcAccount).noquote() << "Load user photo error:" << int(reply->error())
                                     << reply->errorString();
        qCDebug(lcAccount).noquote() << "Load user photo reply:" << reply->readAll();
        reply->deleteLater();
        return;
    }
    CLoginInfo::instance()->photo = decodePhoto(reply->readAll());
    reply->deleteLater();
    emit signalUserPhotoChange();
    qCDebug(lcAccount) << "Load user photo done";
}

void CLoginManager::getAcessTicket()
{
    if (!m_loggedIn || m_ticketReply) {
        return;
    }
    m_ticketTicks = 0;
    qCDebug(lcAccount) << "get ticket";
    m_ticketReply =
        CSignedRequest::post({CApiConfig::UrlAccessTicket, tokenFields(), CApiConfig::SignatureVersionA});
    watch(m_ticketReply, &CLoginManager::replyGetTicket, false);
}

void CLoginManager::replyGetTicket()
{
    QPointer<QNetworkReply> reply = finishedReply();
    if (!reply || reply != m_ticketReply) {
        return;
    }
    m_ticketReply = nullptr;
    const CServiceAnswer answer = CSignedRequest::readAnswer(reply, true);
    const auto& info = CLoginInfo::instance();
    if (readTicket(answer, *info)) {
        qCDebug(lcAccount) << "ticket OK";
        emit signalTicketOK(info->ticket);
        if (m_ticketTimerId == -1) {
            m_ticketTimerId = startTimer(ticketTickMs(), Qt::CoarseTimer);
        }
        return;
    }
    answer.applyErrorTo(info->errorCode, info->errorMsg, CServiceAnswer::Take::AsItCame);
    qCDebug(lcAccount).noquote() << "user ticket: "
                                 << LogText::maskedJson(
                                        QJsonDocument(answer.object).toJson(QJsonDocument::Compact));
    emit signalLogState(info->errorCode, info->errorMsg);
    if (isKickedOut(*info)) {
        const QString reason = tr("您的账号已在其他设备上登录!");
        logout();
        emit signalBeLogouted(reason);
    }
    qCDebug(lcAccount).noquote() << "ticket error" << info->errorMsg;
}

bool CLoginManager::readTicket(const CServiceAnswer& answer, CLoginInfo& info)
{
    info.ticket = answer.content.toString();
    return answer.success && !info.ticket.isEmpty();
}

bool CLoginManager::isKickedOut(const CLoginInfo& info)
{
    return info.errorCode == QLatin1String(ServiceErrors::kSessionKicked) ||
           info.errorMsg == QString::fromUtf8(ServiceErrors::kSessionKickedText);
}

void CLoginManager::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_ticketTimerId) {
        QObject::timerEvent(event);
        return;
    }
    if (++m_ticketTicks >= kTicketRenewTicks) {
        getAcessTicket();
    }
}

void CLoginManager::logout()
{
    if (!m_loggedIn) {
        return;
    }
    // Answers of the session that ends now, and of a sign-in begun since, are
    // no longer applied.
    dropAttemptInFlight();
    ++m_attempt;
    if (m_ticketTimerId != -1) {
        killTimer(m_ticketTimerId);
        m_ticketTimerId = -1;
        m_ticketTicks = 0;
    }
    if (m_ticketReply) {
        m_ticketReply->disconnect(this);
        m_ticketReply->abort();
        m_ticketReply->deleteLater();
        m_ticketReply = nullptr;
    }
    watch(CSignedRequest::post({CApiConfig::UrlLogout, tokenFields(), CApiConfig::SignatureVersionA}),
          &CLoginManager::replyLogout, true);
    m_loggedIn = false;
    CLoginInfo::instance()->clear();
    m_printBridge->stop();
    emit signalLogout();
    qCDebug(lcAccount) << "Log out";
    CDplusTrack::instance()->track(QString::fromUtf8("退出登录"));
}

void CLoginManager::replyLogout()
{
    // A sign-in that began after this logout makes its answer stale.
    QPointer<QNetworkReply> reply = finishedReply();
    if (!reply) {
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        reply->deleteLater();
        return;
    }
    const CServiceAnswer answer = CSignedRequest::readAnswer(reply, false);
    if (answer.success) {
        qCDebug(lcAccount) << "Log out OK";
        CLoginInfo::instance()->clear();
    }
}

void CLoginManager::sendVerCode(const QString& phoneNum)
{
    qCDebug(lcAccount) << "Send VerCode";
    QNetworkReply* reply = CSignedRequest::post({CApiConfig::UrlSendSmsCode,
                                                 CSignedRequest::Form()
                                                     .field("account", phoneNum)
                                                     .appCode()
                                                     .device()
                                                     .field("type", "PHONECODE_LOGIN"),
                                                 CApiConfig::SignatureVersionA});
    if (reply) {
        connect(reply, &QNetworkReply::finished, this, &CLoginManager::replySendVerCode);
    }
    // The phone of a sign-in made or in flight stays that sign-in's.
    if (!m_loggedIn && !m_signingIn) {
        CLoginInfo::instance()->phone = phoneNum;
    }
}

void CLoginManager::replySendVerCode()
{
    QPointer<QNetworkReply> reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply) {
        return;
    }
    const CServiceAnswer answer = CSignedRequest::readAnswer(reply, true);
    if (answer.success) {
        qCDebug(lcAccount) << "Send VerCode OK";
        return;
    }
    const auto& info = CLoginInfo::instance();
    answer.applyErrorTo(info->errorCode, info->errorMsg);
    emit signalLogState(info->errorCode, info->errorMsg);
    qCDebug(lcAccount).noquote() << "Send VerCode error" << info->errorMsg;
}

void CLoginManager::getScanPic(QPixmap& pix)
{
    Q_UNUSED(pix)
}

void CLoginManager::loginScanPic() {}

void CLoginManager::autoLogin()
{
    if (m_loggedIn) {
        return;
    }
    const auto& config = CLocalConfig::instance();
    if (!config->value(CLocalConfig::kAutoLogin, false).toBool() ||
        !config->value(CLocalConfig::kRememberPswd, false).toBool()) {
        return;
    }
    const QString phone = config->encryptedValue(CLocalConfig::kUserPhone1);
    if (phone.isEmpty()) {
        return;
    }
    const QDateTime stored = QDateTime::fromString(config->encryptedValue(CLocalConfig::kTime), Qt::ISODate);
    if (!CLocalConfig::rememberedForAutoLogin(stored, QDateTime::currentDateTime())) {
        return;
    }
    const QString pswd = config->encryptedValue(CLocalConfig::kUserPswd);
    if (pswd.isEmpty()) {
        return;
    }
    qCDebug(lcAccount) << "CLoginManager autoLogin start";
    loginPswd(phone, pswd, false);
}
