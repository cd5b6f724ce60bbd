#include "standins/localservice/deployment.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {
class Reader
{
public:
    explicit Reader(const QJsonObject& root) : m_root(root) {}

    QString text(const QString& dottedKey)
    {
        QJsonObject object = m_root;
        const QStringList parts = dottedKey.split('.');
        for (int i = 0; i < parts.size() - 1; ++i) {
            object = object.value(parts.at(i)).toObject();
        }
        const QJsonValue value = object.value(parts.last());
        if (!value.isString() || value.toString().isEmpty()) {
            if (m_missing.isEmpty()) {
                m_missing = dottedKey;
            }
            return QString();
        }
        return value.toString();
    }

    QString missing() const { return m_missing; }

private:
    QJsonObject m_root;
    QString m_missing;
};
} // namespace

bool Deployment::load(const QString& file, QString& error)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        error = "cannot read deployment file " + file;
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &parseError);
    if (!doc.isObject()) {
        error = QString("deployment file %1 is not a JSON object: %2").arg(file, parseError.errorString());
        return false;
    }
    Reader r(doc.object());
    baseUrl = r.text("service.baseUrl");
    hmacSecret = r.text("service.hmacSecret");
    apiKey = r.text("service.apiKey");
    appCode = r.text("service.appCode");
    keyVersion = r.text("service.keyVersion");
    signatureVersionA = r.text("service.signatureVersionA");
    signatureVersionB = r.text("service.signatureVersionB");
    contentType = r.text("service.contentType");
    static const char* roles[] = {
        "authCodeByPassword",  "accessTicket",  "tokenFromAuthCode", "validateToken",     "companyList",
        "personDetail",        "logout",        "sendSmsCode",       "authCodeBySmsCode", "preCreateAccount",
        "joinInvitingCompany", "resetPassword", "changePassword",    "modifyProfile",     "conferenceConfig"};
    for (const char* role : roles) {
        paths.insert(role, r.text(QString("service.paths.") + role));
    }
    const QString printInfoUrl = r.text("service.printInfoUrl");
    printAppId = r.text("service.printAppId");
    rsaPublicKeyPem = r.text("service.rsaPublicKeyPem");
    conferenceDefaultAppId = r.text("conference.defaultAppId");
    conferenceDefaultAppKey = r.text("conference.defaultAppKey");
    weatherApiKey = r.text("weather.apiKey");
    analyticsAppKey = r.text("analytics.appKey");
    if (!r.missing().isEmpty()) {
        error = QString("deployment file %1: missing or empty key \"%2\"").arg(file, r.missing());
        return false;
    }
    const QUrl base(baseUrl);
    if (!base.isValid() || base.scheme().isEmpty() || base.host().isEmpty()) {
        error = QString("deployment file %1: \"service.baseUrl\" is not an origin: %2").arg(file, baseUrl);
        return false;
    }
    basePath = base.path();
    if (basePath.endsWith('/')) {
        basePath.chop(1);
    }
    for (auto it = paths.cbegin(); it != paths.cend(); ++it) {
        if (!it.value().startsWith('/')) {
            error = QString("deployment file %1: \"service.paths.%2\" must start with /").arg(file, it.key());
            return false;
        }
    }
    printInfoPath = QUrl(printInfoUrl).path();
    if (printInfoPath.isEmpty()) {
        error = QString("deployment file %1: \"service.printInfoUrl\" has no path").arg(file);
        return false;
    }
    return true;
}
