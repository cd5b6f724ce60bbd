#pragma once

#include <QByteArray>
#include <QString>

// Ed25519 signatures of update packages, checked with OpenSSL.
namespace Ed25519Signature {
// Whether signature (64 bytes) signs the whole file at path under the PEM
// "PUBLIC KEY" publicKeyPem. False, with the reason in error, otherwise.
bool verifyFile(const QString& path, const QByteArray& signature, const QByteArray& publicKeyPem,
                QString* error = nullptr);
bool verify(const QByteArray& data, const QByteArray& signature, const QByteArray& publicKeyPem,
            QString* error = nullptr);
} // namespace Ed25519Signature
