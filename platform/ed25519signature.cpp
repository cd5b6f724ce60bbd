#include "platform/ed25519signature.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace {
bool fail(QString* error, const QString& reason)
{
    if (error) {
        *error = reason;
    }
    return false;
}

bool verifyBytes(const unsigned char* data, size_t size, const QByteArray& signature,
                 const QByteArray& publicKeyPem, QString* error)
{
    if (signature.size() != 64) {
        return fail(error, QStringLiteral("the signature is not 64 bytes"));
    }
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(publicKeyPem.constData(), publicKeyPem.size()), &BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr, &EVP_PKEY_free);
    if (!key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_ED25519) {
        return fail(error, QStringLiteral("the update key is not an Ed25519 public key"));
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    // Ed25519 takes no digest and verifies in one pass over the whole message.
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return fail(error, QStringLiteral("cannot set up the signature check"));
    }
    const int result =
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                         size_t(signature.size()), data, size);
    if (result != 1) {
        return fail(error, QStringLiteral("the signature does not match the package"));
    }
    return true;
}
} // namespace

bool Ed25519Signature::verify(const QByteArray& data, const QByteArray& signature,
                              const QByteArray& publicKeyPem, QString* error)
{
    return verifyBytes(reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()),
                       signature, publicKeyPem, error);
}

bool Ed25519Signature::verifyFile(const QString& path, const QByteArray& signature,
                                  const QByteArray& publicKeyPem, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(error, QString("cannot read %1: %2").arg(path, file.errorString()));
    }
    if (file.size() == 0) {
        return verifyBytes(reinterpret_cast<const unsigned char*>(""), 0, signature, publicKeyPem, error);
    }
    // Mapped, not read: a package may be large and is checked in one pass.
    const uchar* data = file.map(0, file.size());
    if (!data) {
        return fail(error, QString("cannot map %1: %2").arg(path, file.errorString()));
    }
    const bool ok = verifyBytes(data, size_t(file.size()), signature, publicKeyPem, error);
    file.unmap(const_cast<uchar*>(data));
    return ok;
}
