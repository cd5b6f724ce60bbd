#include "support/testenvironment.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
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
