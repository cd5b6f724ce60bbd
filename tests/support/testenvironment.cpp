#include "support/testenvironment.h"

#include "core/applicationidentity.h"
#include "core/deployment.h"
#include "core/deviceidentity.h"
#include "platform/systemping.h"
#include "support/testdeployment.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QtDebug>

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
QString& rootPath()
{
    static QString path;
    return path;
}

void removeRoot()
{
    if (!rootPath().isEmpty()) {
        QDir(rootPath()).removeRecursively();
    }
}

QString makeDir(const QString& name)
{
    const QString path = rootPath() + "/" + name;
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}
} // namespace

void TestEnvironment::isolateClient()
{
    isolate();
    setApplicationIdentity();
}

void TestEnvironment::isolate()
{
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/vantelor-test-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        qFatal("cannot create a test directory");
    }
    rootPath() = QString::fromLocal8Bit(pattern);
    std::atexit(removeRoot);
    qputenv("HOME", makeDir("home").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", makeDir("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", makeDir("data").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", makeDir("cache").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", makeDir("runtime").toLocal8Bit());
    qputenv("TMPDIR", makeDir("tmp").toLocal8Bit());
    TestDeployment::useLocalService(closedPort());
    // The ping the client's start-up sets from the deployment.
    CSystemPing::setProgram(CDeployment::value(CDeployment::PingProgram));
    CSystemPing::setHost(CDeployment::value(CDeployment::PingHost));
}

quint16 TestEnvironment::closedPort()
{
    // Bound and never listening: connections to it are refused, and no other
    // program can take the port while the test runs.
    static const quint16 port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            qFatal("cannot hold a closed port");
        }
        return quint16(ntohs(address.sin_port));
    }();
    return port;
}

void TestEnvironment::startClient(QProcess& process, const QStringList& arguments, const QString& setup)
{
    static const bool namespaces = QProcess::execute("unshare", {"-n", "-m", "true"}) == 0;
    if (!namespaces) {
        qWarning() << "no network namespace: the client runs with the shipped deployment";
        process.start(binary("vantelor"), arguments);
        return;
    }
    // Loopback up, and an adapter with this machine's device id, so that the
    // client knows itself as it does outside the namespace.
    const QString mac = deviceIdentity(false);
    QString script = "ip link set lo up && ";
    if (!mac.isEmpty()) {
        script +=
            QString("ip link add vantelor0 address %1 type veth peer name vantelor1 address %1 && ").arg(mac);
    }
    if (!setup.isEmpty()) {
        script += setup + " && ";
    }
    script += "exec \"$@\"";
    process.start("unshare",
                  QStringList{"-n", "-m", "--", "sh", "-c", script, "sh", binary("vantelor")} + arguments);
}

QString TestEnvironment::root()
{
    return rootPath();
}

QString TestEnvironment::runtimeDir()
{
    return rootPath() + "/runtime";
}

QString TestEnvironment::binary(const QString& name)
{
    return QStringLiteral(VANTELOR_BIN_DIR) + "/" + name;
}

bool TestEnvironment::connectOnce(QLocalSocket& socket, const QString& name)
{
    socket.abort();
    socket.connectToServer(name);
    return socket.waitForConnected(200);
}
