#include "standins/localservice/credentialcipher.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <memory>

CredentialCipher::~CredentialCipher()
{
    EVP_PKEY_free(m_key);
}

bool CredentialCipher::load(const QByteArray& privateKeyPem, const QString& publicKeyPem, QString& error)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> privateBio(
        BIO_new_mem_buf(privateKeyPem.constData(), privateKeyPem.size()), &BIO_free);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(privateBio.get(), nullptr, nullptr, nullptr);
    if (!key) {
        error = "the private key is not a PEM RSA private key";
        return false;
    }
    const QByteArray publicBytes = publicKeyPem.toLatin1();
    std::unique_ptr<BIO, decltype(&BIO_free)> publicBio(
        BIO_new_mem_buf(publicBytes.constData(), publicBytes.size()), &BIO_free);
    EVP_PKEY* publicKey = PEM_read_bio_PUBKEY(publicBio.get(), nullptr, nullptr, nullptr);
    const bool pairs = publicKey && EVP_PKEY_eq(key, publicKey) == 1;
    EVP_PKEY_free(publicKey);
    if (!pairs) {
        EVP_PKEY_free(key);
        error = "the private key does not pair with \"service.rsaPublicKeyPem\" of the deployment";
        return false;
    }
    EVP_PKEY_free(m_key);
    m_key = key;
    return true;
}

bool CredentialCipher::decrypt(const QString& base64, QByteArray& plain) const
{
    if (!m_key) {
        return false;
    }
    const QByteArray cipher = QByteArray::fromBase64(
        base64.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (cipher.isEmpty() || cipher.size() != EVP_PKEY_get_size(m_key)) {
        return false;
    }
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(m_key, nullptr),
                                                                    &EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0) {
        return false;
    }
    size_t length = 0;
    const auto* in = reinterpret_cast<const unsigned char*>(cipher.constData());
    if (EVP_PKEY_decrypt(ctx.get(), nullptr, &length, in, size_t(cipher.size())) <= 0) {
        return false;
    }
    QByteArray out(int(length), '\0');
    if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length, in,
                         size_t(cipher.size())) <= 0) {
        return false;
    }
    out.resize(int(length));
    plain = out;
    return true;
}
