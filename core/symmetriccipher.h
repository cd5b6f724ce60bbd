#pragma once

#include <QByteArray>

// AES-256-CBC with PKCS #7 padding under the client's fixed key and IV. The
// stored settings values and the enciphered deployment table share it, and so
// does the build tool that enciphers the deployment: one key, one code path.
namespace SymmetricCipher {
// True on success; out is replaced only on success.
bool encrypt(const QByteArray& in, QByteArray& out);
bool decrypt(const QByteArray& in, QByteArray& out);
} // namespace SymmetricCipher
