#pragma once

#include <QByteArray>
#include <QString>

typedef struct evp_pkey_st EVP_PKEY;

// The private half of the deployment's RSA key: it turns the account and
// password of a password sign-in (Base64 of PKCS #1 v1.5 ciphertext) back into
// text. Only the development key of the local deployment is ever used here.
class CredentialCipher
{
public:
    CredentialCipher() = default;
    ~CredentialCipher();
    CredentialCipher(const CredentialCipher&) = delete;
    CredentialCipher& operator=(const CredentialCipher&) = delete;

    // Loads the PEM private key and checks that it pairs with publicKeyPem.
    bool load(const QByteArray& privateKeyPem, const QString& publicKeyPem, QString& error);

    // False when the text is not Base64 of a ciphertext of this key.
    bool decrypt(const QString& base64, QByteArray& plain) const;

private:
    EVP_PKEY* m_key = nullptr;
};
