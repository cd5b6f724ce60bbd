#include "testsigner.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

namespace {
// Which version header each call carries: "A" is signatureVersionA, "B" is B.
QString versionSlot(const QString& role)
{
    static const QStringList versionB = {"companyList", "personDetail", "joinInvitingCompany",
                                         "modifyProfile"};
    return versionB.contains(role) ? "B" : "A";
}

// What the client does to values in the posted body: "&", "=", "+" and "%"
// escaped, everything else as it is.
QByteArray escapeValue(const QByteArray& value)
{
    QByteArray out;
    for (const char c : value) {
        switch (c) {
        case '&':
            out += "%26";
            break;
        case '=':
            out += "%3D";
            break;
        case '+':
            out += "%2B";
            break;
        case '%':
            out += "%25";
            break;
        default:
            out += c;
        }
    }
    return out;
}
} // namespace

TestSigner::TestSigner(const QString& deploymentFile)
{
    QFile in(deploymentFile);
    in.open(QIODevice::ReadOnly);
    const QJsonObject root = QJsonDocument::fromJson(in.readAll()).object();
    m_service = root.value("service").toObject();
    m_weatherKey = root.value("weather").toObject().value("apiKey").toString();
    m_analyticsKey = root.value("analytics").toObject().value("appKey").toString();
}

TestSigner::Result TestSigner::post(const QString& origin, const QString& role, const Fields& fields)
{
    return post(origin, role, fields, Tweaks());
}

TestSigner::Result TestSigner::post(const QString& origin, const QString& role, const Fields& fields,
                                    const Tweaks& tweaks)
{
    const QString path = m_service.value("paths").toObject().value(role).toString();
    const QDateTime now = QDateTime::currentDateTimeUtc().addMSecs(tweaks.clockShiftMs);
    const QString timestamp = now.toString(Qt::ISODate);
    QString nonce = tweaks.nonce;
    if (nonce.isEmpty()) {
        const QString millis = QString::number(now.toMSecsSinceEpoch());
        nonce =
            millis.left(millis.size() - 5) + QString::number(QRandomGenerator::global()->bounded(100, 1000));
    }

    QByteArray signedBody;
    QByteArray postedBody;
    for (const auto& field : fields) {
        const QByteArray name = field.first.toUtf8();
        const QByteArray value = field.second.toUtf8();
        if (!signedBody.isEmpty()) {
            signedBody += '&';
            postedBody += '&';
        }
        signedBody += name + '=' + value;
        const bool credential = role == "authCodeByPassword" && (name == "account" || name == "password");
        postedBody += name + '=' + (credential ? QUrl::toPercentEncoding(field.second) : escapeValue(value));
    }
    if (tweaks.postedBodySet) {
        postedBody = tweaks.postedBody;
    }
    const QString stringToSign =
        QString("POST\n%1\n%2\n%3\n").arg(timestamp, nonce, path) + QString::fromUtf8(signedBody);
    QByteArray signature = QMessageAuthenticationCode::hash(stringToSign.toUtf8(),
                                                            m_service.value("hmacSecret").toString().toUtf8(),
                                                            QCryptographicHash::Sha256)
                               .toBase64();
    if (!tweaks.signature.isNull()) {
        signature = tweaks.signature;
    }
    const QString version = tweaks.version.isNull()
                                ? m_service.value("signatureVersion" + versionSlot(role)).toString()
                                : tweaks.version;

    QList<QPair<QByteArray, QByteArray>> headers = {
        {"X-Hmac-Auth-IP", clientIp},
        {"X-Hmac-Auth-Timestamp", timestamp.toUtf8()},
        {"X-Hmac-Auth-Version", version.toUtf8()},
        {"X-Hmac-Auth-Nonce", nonce.toUtf8()},
        {"apiKey", tweaks.apiKey.isNull() ? m_service.value("apiKey").toString().toUtf8() : tweaks.apiKey},
        {"X-Hmac-Auth-Signature", signature},
        {"X-Hmac-Auth-MAC", deviceId},
        {"Content-Type", m_service.value("contentType").toString().toUtf8()},
    };
    for (int i = 0; i < headers.size(); ++i) {
        if (headers.at(i).first == tweaks.omitHeader) {
            headers.removeAt(i);
            break;
        }
    }
    return send(origin + path, "POST", postedBody, headers);
}

QString TestSigner::rsaBase64(const QString& text) const
{
    const QByteArray pem = m_service.value("rsaPublicKeyPem").toString().toLatin1();
    BIO* bio = BIO_new_mem_buf(pem.constData(), pem.size());
    EVP_PKEY* key = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    EVP_PKEY_CTX* ctx = key ? EVP_PKEY_CTX_new(key, nullptr) : nullptr;
    QByteArray out;
    const QByteArray in = text.toUtf8();
    size_t length = 0;
    if (ctx && EVP_PKEY_encrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0 &&
        EVP_PKEY_encrypt(ctx, nullptr, &length, reinterpret_cast<const unsigned char*>(in.constData()),
                         size_t(in.size())) > 0) {
        out.resize(int(length));
        if (EVP_PKEY_encrypt(ctx, reinterpret_cast<unsigned char*>(out.data()), &length,
                             reinterpret_cast<const unsigned char*>(in.constData()), size_t(in.size())) > 0) {
            out.resize(int(length));
        } else {
            out.clear();
        }
    }
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(key);
    return QString::fromLatin1(out.toBase64());
}

TestSigner::Result TestSigner::get(const QString& url)
{
    return send(url, "GET", QByteArray(), {});
}

TestSigner::Result TestSigner::send(const QString& url, const QByteArray& method, const QByteArray& body,
                                    const QList<QPair<QByteArray, QByteArray>>& headers)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request{QUrl(url)};
    for (const auto& h : headers) {
        if (h.first == "Content-Type") {
            request.setHeader(QNetworkRequest::ContentTypeHeader, h.second);
        } else {
            request.setRawHeader(h.first, h.second);
        }
    }
    QNetworkReply* reply =
        method == "GET" ? manager.get(request) : manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    Result result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.answer = QJsonDocument::fromJson(result.body).object();
    if (!reply->isFinished()) {
        reply->abort();
    }
    delete reply;
    return result;
}
