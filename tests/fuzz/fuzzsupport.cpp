#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>

namespace {
void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

QTemporaryDir*& temporaryDirectory()
{
    static QTemporaryDir* directory = nullptr;
    return directory;
}
} // namespace

void FuzzSupport::start()
{
    if (temporaryDirectory()) {
        return;
    }
    qInstallMessageHandler(dropMessage);
    // In memory where there is such a place: a few targets write a file per input.
    const QString base = QFileInfo("/dev/shm").isWritable() ? QString("/dev/shm") : QDir::tempPath();
    temporaryDirectory() = new QTemporaryDir(base + "/vantelor-fuzz-XXXXXX");
    const QByteArray home = QFile::encodeName(temporaryDirectory()->path());
    for (const char* name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        qputenv(name, home);
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vantelor-fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    // libFuzzer ends by exit(): the directory goes then, after the last input.
    std::atexit([] {
        delete temporaryDirectory();
        temporaryDirectory() = nullptr;
    });
}

QString FuzzSupport::directory()
{
    return temporaryDirectory() ? temporaryDirectory()->path() : QString();
}
