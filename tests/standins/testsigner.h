#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

// A small signer written for the tests, independent of the client's code: it
// builds the signed calls the client makes (string to sign, HMAC-SHA-256 with
// Qt's QMessageAuthenticationCode, headers, posted body) from the deployment
// file, and can get any part of them wrong on purpose.
class TestSigner
{
public:
    using Fields = QList<QPair<QString, QString>>;

    struct Tweaks
    {
        QString version;         // overrides the call's version header
        qint64 clockShiftMs = 0; // signs with a clock this far off
        QString nonce;           // overrides the nonce
        QByteArray signature;    // overrides the signature
        QByteArray omitHeader;
        QByteArray apiKey;
        bool postedBodySet = false;
        QByteArray postedBody; // posted instead of the encoded body
    };

    struct Result
    {
        int status = 0;
        QByteArray body;
        QJsonObject answer;
    };

    static constexpr const char* deviceId = "02:42:ac:11:00:02";
    static constexpr const char* clientIp = "192.0.2.10";

    explicit TestSigner(const QString& deploymentFile);

    QString appCode() const { return m_service.value("appCode").toString(); }
    QString keyVersion() const { return m_service.value("keyVersion").toString(); }
    QString printAppId() const { return m_service.value("printAppId").toString(); }
    QString weatherKey() const { return m_weatherKey; }
    QString analyticsKey() const { return m_analyticsKey; }

    Result post(const QString& origin, const QString& role, const Fields& fields);
    Result post(const QString& origin, const QString& role, const Fields& fields, const Tweaks& tweaks);
    // Base64 of the RSA (PKCS #1 v1.5) encryption with the deployment's public key.
    QString rsaBase64(const QString& text) const;

    // Helpers for the common fields.
    Fields device() const { return {{"clientIp", clientIp}, {"deviceId", deviceId}}; }

    static Result get(const QString& url);
    static Result send(const QString& url, const QByteArray& method, const QByteArray& body,
                       const QList<QPair<QByteArray, QByteArray>>& headers);

private:
    QJsonObject m_service;
    QString m_weatherKey;
    QString m_analyticsKey;
};
