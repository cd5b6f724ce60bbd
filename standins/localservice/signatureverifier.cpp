#include "standins/localservice/signatureverifier.h"

#include <QDateTime>
#include <QRegularExpression>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace {
SignatureVerifier::Verdict refuse(const QString& code, const QString& reason)
{
    SignatureVerifier::Verdict v;
    v.errorCode = code;
    v.reason = reason;
    return v;
}
} // namespace

SignatureVerifier::SignatureVerifier(const Deployment& deployment, int toleranceSeconds)
    : m_deployment(deployment), m_toleranceSeconds(toleranceSeconds)
{
}

QByteArray SignatureVerifier::signature(const QByteArray& secret, const QByteArray& stringToSign)
{
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), secret.constData(), secret.size(),
              reinterpret_cast<const unsigned char*>(stringToSign.constData()), size_t(stringToSign.size()),
              mac, &length)) {
        return QByteArray();
    }
    return QByteArray(reinterpret_cast<const char*>(mac), int(length)).toBase64();
}

SignatureVerifier::Verdict SignatureVerifier::verify(const SignedCalls::Call& call, const QString& signedPath,
                                                     const Headers& headers, const QByteArray& body,
                                                     FormBody& form, qint64 serviceNowMs) const
{
    // The IP header may be empty on a machine without a usable adapter; the
    // others are always there when the client signs.
    static const char* required[] = {"X-Hmac-Auth-Timestamp", "X-Hmac-Auth-Version",
                                     "X-Hmac-Auth-Nonce",     "apiKey",
                                     "X-Hmac-Auth-Signature", "X-Hmac-Auth-MAC"};
    for (const char* name : required) {
        if (headers.value(QByteArray(name).toLower()).isEmpty()) {
            return refuse("1100", QString("missing header %1").arg(QString::fromLatin1(name)));
        }
    }
    const QByteArray contentType = headers.value("content-type").toLower();
    if (!contentType.startsWith("application/x-www-form-urlencoded")) {
        return refuse("1107",
                      QString("wrong content type \"%1\": expected \"%2\"")
                          .arg(QString::fromUtf8(headers.value("content-type")), m_deployment.contentType));
    }
    if (headers.value("apikey") != m_deployment.apiKey.toUtf8()) {
        return refuse("1101", "wrong apiKey header");
    }
    const bool versionA = call.version == SignedCalls::Version::A;
    const QString expectedVersion =
        versionA ? m_deployment.signatureVersionA : m_deployment.signatureVersionB;
    const QString version = QString::fromUtf8(headers.value("x-hmac-auth-version"));
    if (version != expectedVersion) {
        return refuse("1102", QString("wrong version header: %1 must carry %2 (%3), got \"%4\"")
                                  .arg(call.role, expectedVersion,
                                       versionA ? "signatureVersionA" : "signatureVersionB", version));
    }

    const QString timestamp = QString::fromUtf8(headers.value("x-hmac-auth-timestamp"));
    static const QRegularExpression timestampForm("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z$");
    const QDateTime clientTime = QDateTime::fromString(timestamp, Qt::ISODate);
    if (!timestampForm.match(timestamp).hasMatch() || !clientTime.isValid()) {
        return refuse("1103",
                      QString("bad timestamp form \"%1\": expected yyyy-MM-ddTHH:mm:ssZ").arg(timestamp));
    }
    const qint64 offset = clientTime.toMSecsSinceEpoch() - serviceNowMs;
    if (qAbs(offset) > qint64(m_toleranceSeconds) * 1000) {
        Verdict v = refuse("1103", QString("timestamp out of range: the client clock is %1 s %2 the service "
                                           "(tolerance %3 s)")
                                       .arg(qRound64(qAbs(offset) / 1000.0))
                                       .arg(offset < 0 ? "behind" : "ahead of")
                                       .arg(m_toleranceSeconds));
        v.clockSkew = true;
        v.timeOffset = offset;
        return v;
    }

    // The nonce is the signing time in units of 100 s followed by three digits
    // from 100 to 999; its time part must agree with the timestamp.
    const QString nonce = QString::fromUtf8(headers.value("x-hmac-auth-nonce"));
    static const QRegularExpression nonceForm("^(\\d+)([1-9]\\d\\d)$");
    const QRegularExpressionMatch nonceMatch = nonceForm.match(nonce);
    if (!nonceMatch.hasMatch()) {
        return refuse("1104", QString("bad nonce form \"%1\"").arg(nonce));
    }
    const qint64 nonceTime = nonceMatch.captured(1).toLongLong();
    if (qAbs(nonceTime - clientTime.toMSecsSinceEpoch() / 100000) > 1) {
        return refuse("1104",
                      QString("bad nonce \"%1\": its time part does not match the timestamp").arg(nonce));
    }

    if (!form.parse(body)) {
        return refuse("1105", form.error());
    }
    const QVector<FormBody::Field>& fields = form.fields();
    for (int i = 0; i < qMax(fields.size(), call.fields.size()); ++i) {
        const QString expected = i < call.fields.size() ? call.fields.at(i) : QString();
        const QString got = i < fields.size() ? fields.at(i).name : QString();
        if (expected == got) {
            continue;
        }
        if (expected.isEmpty()) {
            return refuse("1105", QString("unexpected field \"%1\" at position %2").arg(got).arg(i + 1));
        }
        if (got.isEmpty()) {
            return refuse("1105", QString("missing field \"%1\" at position %2").arg(expected).arg(i + 1));
        }
        const bool known = call.fields.contains(got);
        return refuse("1105", QString("%1: expected \"%2\" at position %3, got \"%4\"")
                                  .arg(known ? "field out of order" : "unexpected field", expected)
                                  .arg(i + 1)
                                  .arg(got));
    }
    for (const FormBody::Field& field : fields) {
        if ((field.name == "appCode" || field.name == "__appcode") && field.value != m_deployment.appCode) {
            return refuse("1105", QString("wrong %1 \"%2\"").arg(field.name, field.value));
        }
        if (field.name == "deviceId" && field.value.toUtf8() != headers.value("x-hmac-auth-mac")) {
            return refuse(
                "1105",
                QString("deviceId \"%1\" does not match the X-Hmac-Auth-MAC header").arg(field.value));
        }
        if (field.name == "keyVersion" && field.value != m_deployment.keyVersion) {
            return refuse("1105", QString("wrong keyVersion \"%1\"").arg(field.value));
        }
    }

    const QByteArray stringToSign = "POST\n" + timestamp.toUtf8() + "\n" + nonce.toUtf8() + "\n" +
                                    signedPath.toUtf8() + "\n" + form.signedText();
    const QByteArray expected = signature(m_deployment.hmacSecret.toUtf8(), stringToSign);
    const QByteArray given = headers.value("x-hmac-auth-signature");
    if (expected.isEmpty() || given.size() != expected.size() ||
        CRYPTO_memcmp(given.constData(), expected.constData(), size_t(expected.size())) != 0) {
        return refuse("1106", "signature mismatch");
    }
    Verdict ok;
    ok.ok = true;
    return ok;
}
