#include "support/accountfixture.h"

#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "account/printbridge.h"
#include "account/signedrequest.h"
#include "account/tokenmanager.h"
#include "core/apiconfig.h"
#include "core/cipher.h"
#include "core/deviceidentity.h"
#include "core/dplustrack.h"
#include "core/singlenetworkmanger.h"
#include "support/testdeployment.h"

#include <QCryptographicHash>
#include <QJsonObject>
#include <QSignalSpy>

bool AccountFixture::start(std::unique_ptr<LocalServiceProcess>& service)
{
    service = std::make_unique<LocalServiceProcess>();
    return service->start() && TestDeployment::useLocalService(service->port());
}

bool AccountFixture::reset(LocalServiceProcess& service)
{
    CLoginManager::instance(true);
    CTokenManager::instance(true);
    CLoginInfo::instance(true);
    CDplusTrack::instance(true);
    CApiConfig::instance(true);
    CCipher::instance(true);
    CSingleNetworkManger::instance(true);
    TestDeployment::useFixedDeviceIdentity();
    return service.reset();
}

int AccountFixture::requestCount(LocalServiceProcess& service, const QString& endpoint)
{
    return service.requests(endpoint).size();
}

QStringList AccountFixture::eventNames(LocalServiceProcess& service)
{
    QStringList names;
    for (const QJsonValue& event : service.events()) {
        names << event.toObject().value("event_name").toString();
    }
    return names;
}

QString AccountFixture::userTag(const QString& phone)
{
    const QByteArray digest = QCryptographicHash::hash(phone.toUtf8(), QCryptographicHash::Md5)
                                  .toBase64(QByteArray::OmitTrailingEquals);
    return QString::fromUtf8("已登录") + QString::fromLatin1(digest.right(8)).toLower();
}

QString AccountFixture::accountNameOfToken(LocalServiceProcess& service, const QString& token)
{
    const CServiceAnswer answer =
        CSignedRequest::exchange({CApiConfig::UrlValidateToken,
                                  {{"accessToken", token},
                                   {"appCode", CApiConfig::instance()->slot(CApiConfig::AppCode)},
                                   {"clientIp", deviceIdentity(true)},
                                   {"deviceId", deviceIdentity(false)}},
                                  CApiConfig::SignatureVersionA});
    const qint64 id = answer.content.toObject().value("id").toVariant().toLongLong();
    const QJsonArray accounts = service.control("GET", "/__control/accounts").value("accounts").toArray();
    for (const QJsonValue& account : accounts) {
        if (account.toObject().value("id").toVariant().toLongLong() == id) {
            return account.toObject().value("name").toString();
        }
    }
    return QStringLiteral("(no account for token %1)").arg(token);
}

bool AccountFixture::signInWithPrintBridge()
{
    CLoginManager* login = CLoginManager::instance().get();
    QSignalSpy signedIn(login, &CLoginManager::signalLogin);
    login->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
    const bool ok = signedIn.count() == 1 || signedIn.wait(10000);
    if (ok && !login->printBridge()->isListening()) {
        qWarning("port 6668 is held by another program");
        return false;
    }
    return ok;
}
