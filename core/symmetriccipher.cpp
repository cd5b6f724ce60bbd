#include "core/symmetriccipher.h"

#include <openssl/evp.h>

#include <memory>

namespace {
// The ASCII bytes of these texts are the key and the IV themselves.
constexpr char kKeyText[] = "45B95A87AB19488B65823B76C4B65D3A";
constexpr char kIvText[] = "B63630711E71F9A8";
static_assert(sizeof(kKeyText) - 1 == 32, "AES-256 needs 32 key bytes");
static_assert(sizeof(kIvText) - 1 == 16, "CBC needs 16 IV bytes");

constexpr int kBlockSize = 16;

bool run(bool encrypting, const QByteArray& in, QByteArray& out)
{
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            &EVP_CIPHER_CTX_free);
    if (!context) {
        return false;
    }
    const auto* key = reinterpret_cast<const unsigned char*>(kKeyText);
    const auto* iv = reinterpret_cast<const unsigned char*>(kIvText);
    if (EVP_CipherInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key, iv, encrypting ? 1 : 0) != 1) {
        return false;
    }
    // Padding adds at most one block; sized from the input, long values cannot overrun it.
    QByteArray buffer(in.size() + kBlockSize, Qt::Uninitialized);
    auto* target = reinterpret_cast<unsigned char*>(buffer.data());
    int written = 0;
    if (EVP_CipherUpdate(context.get(), target, &written,
                         reinterpret_cast<const unsigned char*>(in.constData()), in.size()) != 1) {
        return false;
    }
    int finalWritten = 0;
    if (EVP_CipherFinal_ex(context.get(), target + written, &finalWritten) != 1) {
        return false;
    }
    buffer.truncate(written + finalWritten);
    out = buffer;
    return true;
}
} // namespace

bool SymmetricCipher::encrypt(const QByteArray& in, QByteArray& out)
{
    return run(true, in, out);
}

bool SymmetricCipher::decrypt(const QByteArray& in, QByteArray& out)
{
    return run(false, in, out);
}
