#include "account/signedrequest.h"
#include "platform/jsontext.h"

#include "account/logininfo.h"
#include "core/cipher.h"
#include "core/deviceidentity.h"
#include "core/singlenetworkmanger.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>
#include <QUrl>
#include <QVariant>

namespace {
// Inside values, only what would break the form apart is escaped; a body whose
// values hold none of these stays exactly as it was signed.
QByteArray escapeFormSeparators(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
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

QString CSignedRequest::appCode()
{
    return CApiConfig::instance()->slot(CApiConfig::AppCode);
}

CSignedRequest::Form& CSignedRequest::Form::field(const QString& name, const QString& value)
{
    m_fields.append({name, value});
    return *this;
}

CSignedRequest::Form& CSignedRequest::Form::session()
{
    return field("__accesstoken", CLoginInfo::instance()->accessToken)
        .field("__appcode", CSignedRequest::appCode());
}

CSignedRequest::Form& CSignedRequest::Form::appCode()
{
    return field("appCode", CSignedRequest::appCode());
}

CSignedRequest::Form& CSignedRequest::Form::device()
{
    return field("clientIp", deviceIdentity(true)).field("deviceId", deviceIdentity(false));
}

QString CSignedRequest::formBody(const FormFields& fields)
{
    QStringList pairs;
    for (const auto& [name, value] : fields) {
        pairs << name + "=" + value;
    }
    return pairs.join('&');
}

QByteArray CSignedRequest::postedBody(const FormFields& fields, const QStringList& fullyEncodedFields)
{
    QByteArrayList pairs;
    for (const auto& [name, value] : fields) {
        const QByteArray bytes = value.toUtf8();
        pairs << name.toUtf8() + "=" +
                     (fullyEncodedFields.contains(name) ? QUrl::toPercentEncoding(value)
                                                        : escapeFormSeparators(bytes));
    }
    return pairs.join('&');
}

QString CSignedRequest::stringToSign(const QString& timestamp, const QString& nonce, const QString& path,
                                     const QString& body)
{
    return QString("%1\n%2\n%3\n%4\n%5").arg("POST", timestamp, nonce, path, body);
}

QString CSignedRequest::signature(const QString& stringToSign)
{
    QByteArray mac;
    CCipher::instance()->hmac(stringToSign.toUtf8(), mac,
                              CApiConfig::instance()->slot(CApiConfig::HmacSecret).toUtf8());
    return QString::fromLatin1(mac.toBase64());
}

void CSignedRequest::setSignHeaders(QNetworkRequest& request, const QString& timestamp,
                                    const QString& version, const QString& nonce, const QString& signature)
{
    request.setRawHeader("X-Hmac-Auth-IP", deviceIdentity(true).toUtf8());
    request.setRawHeader("X-Hmac-Auth-Timestamp", timestamp.toUtf8());
    request.setRawHeader("X-Hmac-Auth-Version", version.toUtf8());
    request.setRawHeader("X-Hmac-Auth-Nonce", nonce.toUtf8());
    request.setRawHeader("apiKey", CApiConfig::instance()->slot(CApiConfig::ApiKey).toUtf8());
    request.setRawHeader("X-Hmac-Auth-Signature", signature.toUtf8());
    request.setRawHeader("X-Hmac-Auth-MAC", deviceIdentity(false).toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      CApiConfig::instance()->slot(CApiConfig::ContentType));
}

QString CSignedRequest::networkErrorText(int code)
{
    return tr("网络异常或本机时间不正确,错误码:%1").arg(code);
}

CSignedRequest::Prepared CSignedRequest::prepare(const Call& call)
{
    const auto& config = CApiConfig::instance();
    Prepared prepared;
    prepared.nonce = config->nonce();
    prepared.timestamp = config->timestamp();
    const QString url = config->slot(call.url);
    const QString base = config->slot(CApiConfig::BaseUrl);
    prepared.path = base.isEmpty() ? url : QString(url).remove(base, Qt::CaseSensitive);
    const QString body = formBody(call.fields);
    prepared.stringToSign = stringToSign(prepared.timestamp, prepared.nonce, prepared.path, body);
    prepared.signature = signature(prepared.stringToSign);
    prepared.request.setUrl(QUrl(url));
    setSignHeaders(prepared.request, prepared.timestamp, config->slot(call.version), prepared.nonce,
                   prepared.signature);
    // A service that never answers must still end in the network-error text.
    prepared.request.setTransferTimeout(kTransferTimeoutMs);
    prepared.body = postedBody(call.fields, call.fullyEncodedFields);
    return prepared;
}

QPointer<QNetworkReply> CSignedRequest::post(const Call& call)
{
    if (CApiConfig::instance()->slot(call.url).isEmpty()) {
        return nullptr;
    }
    const Prepared prepared = prepare(call);
    return CSingleNetworkManger::instance()->manager()->post(prepared.request, prepared.body);
}

QPointer<QNetworkReply> CSignedRequest::postAndWait(const Call& call, int timeLimitMs)
{
    QPointer<QNetworkReply> reply = post(call);
    waitFor(reply, timeLimitMs);
    return reply;
}

void CSignedRequest::waitFor(const QPointer<QNetworkReply>& reply, int timeLimitMs)
{
    if (!reply || reply->isFinished()) {
        return;
    }
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer limit;
    if (timeLimitMs > 0) {
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(timeLimitMs);
    }
    loop.exec();
}

CServiceAnswer CSignedRequest::readAnswer(QPointer<QNetworkReply>& reply, bool learnTimeOffset)
{
    if (!reply) {
        return CServiceAnswer();
    }
    const bool unfinished = !reply->isFinished();
    const QNetworkReply::NetworkError networkError = reply->error();
    const QByteArray body = reply->readAll();
    if (unfinished) {
        // Given up on: nobody may hear from it again, and its connection is freed now.
        reply->disconnect();
        reply->abort();
    }
    reply->deleteLater();
    reply = nullptr;

    CServiceAnswer answer = parseAnswer(body, networkError, learnTimeOffset);
    answer.unfinished = unfinished;
    return answer;
}

CServiceAnswer CSignedRequest::parseAnswer(const QByteArray& body, QNetworkReply::NetworkError networkError,
                                           bool learnTimeOffset)
{
    CServiceAnswer answer;
    answer.received = true;
    answer.networkError = networkError;
    answer.object = CJsonText::parse(body).object();
    answer.success = answer.object.value("success").toBool();
    answer.content = answer.object.value("content");
    answer.errorCode = answer.object.value("errorCode").toVariant().toString();
    answer.errorMsg = answer.object.value("errorMsg").toVariant().toString();
    if (answer.errorMsg.isEmpty() && answer.networkError != QNetworkReply::NoError) {
        answer.errorMsg = networkErrorText(answer.networkError);
    }
    if (!answer.success && learnTimeOffset) {
        answer.timeOffsetChanged = CApiConfig::instance()->setTimeOffset(answer.object);
    }
    return answer;
}

CServiceAnswer CSignedRequest::exchange(const Call& call, int timeLimitMs, bool learnTimeOffset)
{
    QPointer<QNetworkReply> reply = postAndWait(call, timeLimitMs);
    return readAnswer(reply, learnTimeOffset);
}
