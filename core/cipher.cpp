#include "core/cipher.h"

#include "core/corelog.h"
#include "core/deployment.h"
#include "core/symmetriccipher.h"

#include <QDebug>

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

CCipher::CCipher()
{
    OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_ADD_ALL_CIPHERS |
                            OPENSSL_INIT_ADD_ALL_DIGESTS,
                        nullptr);
    loadPublicKey(CDeployment::value(CDeployment::RsaPublicKeyPem).toLatin1());
}

// Global clean-up of the crypto library is left to process exit: it cannot be
// undone, and the settings are encrypted again after this object is released.
CCipher::~CCipher()
{
    freePublicKey();
}

void CCipher::freePublicKey()
{
    EVP_PKEY_free(m_publicKey);
    m_publicKey = nullptr;
}

bool CCipher::loadPublicKey(const QByteArray& pem)
{
    freePublicKey();
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), pem.size()), &BIO_free);
    EVP_PKEY* key = bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    if (!key || EVP_PKEY_base_id(key) != EVP_PKEY_RSA) {
        EVP_PKEY_free(key);
        qCDebug(lcCore) << "init RSA public key fail";
        return false;
    }
    m_publicKey = key;
    return true;
}

bool CCipher::encrypt(const QByteArray& in, QByteArray& out)
{
    return SymmetricCipher::encrypt(in, out);
}

bool CCipher::decrypt(const QByteArray& in, QByteArray& out)
{
    return SymmetricCipher::decrypt(in, out);
}

bool CCipher::rsaEncrypt(const QByteArray& in, QByteArray& out)
{
    const QByteArray plain = in;
    out.clear();
    if (!m_publicKey || plain.isEmpty()) {
        return false;
    }
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
        EVP_PKEY_CTX_new(m_publicKey, nullptr), &EVP_PKEY_CTX_free);
    if (!context || EVP_PKEY_encrypt_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0) {
        return false;
    }
    const auto* source = reinterpret_cast<const unsigned char*>(plain.constData());
    size_t size = 0;
    if (EVP_PKEY_encrypt(context.get(), nullptr, &size, source, plain.size()) <= 0) {
        return false;
    }
    QByteArray cipherText(int(size), Qt::Uninitialized);
    if (EVP_PKEY_encrypt(context.get(), reinterpret_cast<unsigned char*>(cipherText.data()), &size, source,
                         plain.size()) <= 0) {
        return false;
    }
    cipherText.truncate(int(size));
    out = cipherText;
    return true;
}

bool CCipher::rsaEncryptBase64(const QString& plain, QString& out)
{
    QByteArray cipherText;
    const bool ok = rsaEncrypt(plain.toUtf8(), cipherText);
    out = ok ? QString::fromLatin1(cipherText.toBase64()) : QString();
    return ok;
}

bool CCipher::hmac(const QByteArray& data, QByteArray& out, const QByteArray& key)
{
    if (data.isEmpty()) {
        return false;
    }
    if (!m_hmac) {
        m_hmac = std::make_unique<QMessageAuthenticationCode>(QCryptographicHash::Sha256, key);
    } else {
        m_hmac->setKey(key);
    }
    m_hmac->addData(data);
    out = m_hmac->result();
    m_hmac->reset();
    return !out.isEmpty();
}
