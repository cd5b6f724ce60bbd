#pragma once

#include "core/singleton.h"

#include <QByteArray>
#include <QMessageAuthenticationCode>

#include <memory>

typedef struct evp_pkey_st EVP_PKEY;

// Public-key encryption of credentials, HMAC-SHA-256 for the signatures and
// the symmetric cipher of the stored settings values.
class CCipher
{
    VANTELOR_SINGLETON(CCipher)
public:
    ~CCipher();

    // AES-256-CBC, PKCS #7 padding; out is replaced only on success.
    bool encrypt(const QByteArray& in, QByteArray& out);
    bool decrypt(const QByteArray& in, QByteArray& out);

    // RSA PKCS #1 v1.5 with the deployment's public key; on success out holds
    // exactly key-size bytes. On any failure out is emptied, so a caller that
    // encrypts in place can never send the plain text on. in and out may be
    // the same array.
    bool rsaEncrypt(const QByteArray& in, QByteArray& out);
    // rsaEncrypt of the UTF-8 text, as Base64; false and an empty out on failure.
    bool rsaEncryptBase64(const QString& plain, QString& out);

    // HMAC-SHA-256 of data under key; false without computing for empty data.
    bool hmac(const QByteArray& data, QByteArray& out, const QByteArray& key);

    // Replaces the RSA key by the PEM "PUBLIC KEY" block; construction loads
    // the deployment's key this way.
    bool loadPublicKey(const QByteArray& pem);
    bool hasPublicKey() const { return m_publicKey != nullptr; }

private:
    CCipher();
    void freePublicKey();

    std::unique_ptr<QMessageAuthenticationCode> m_hmac;
    EVP_PKEY* m_publicKey = nullptr;
};
