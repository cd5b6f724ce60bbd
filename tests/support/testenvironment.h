#pragma once

#include <QString>

#include <QStringList>

class QLocalSocket;

class QProcess;

// Gives the test process directories of its own: home, settings and data
// (XDG_CONFIG_HOME), runtime (local sockets) and TMPDIR. Call from initMain(),
// before any Qt object reads them; the tree is removed at exit.
// It also moves the built-in deployment to a loopback port the test holds
// closed, so a test that starts no local service of its own reaches none
// (not even one that ./run.sh left listening on the shipped port).
namespace TestEnvironment {
void isolate();
// isolate(), then the client's identity (names, version, log line pattern) as
// the client sets it before its application object: most tests' initMain().
void isolateClient();
// Starts the real client: in network and mount namespaces of its own where
// they can be made (its built-in deployment cannot be moved), so it reaches
// no service. setup: shell commands run inside them first (e.g. a mount).
void startClient(QProcess& process, const QStringList& arguments = QStringList(),
                 const QString& setup = QString());
QString root();
QString runtimeDir();
// The loopback port the moved deployment points at.
quint16 closedPort();
// Path of a program built beside the client, e.g. "vantelor".
QString binary(const QString& name);
// One attempt to reach a local server (for QTRY_*): an attempt still pending
// from the try before is dropped first.
bool connectOnce(QLocalSocket& socket, const QString& name);
// Built with AddressSanitizer (scripts/test-sanitized.sh): memory figures of
// this process include the sanitizer's quarantine and shadow.
constexpr bool sanitizedBuild()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}
} // namespace TestEnvironment
