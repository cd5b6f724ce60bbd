#include "platform/updatehandoff.h"

#include "platform/platformlog.h"

#include <QDebug>
#include <QProcess>
#include <QStandardPaths>

namespace {
QStringList& testCommand()
{
    static QStringList command;
    return command;
}
} // namespace

QStringList CUpdateHandOff::command(const QString& path)
{
    if (!testCommand().isEmpty()) {
        QStringList command = testCommand();
        command.replaceInStrings(QStringLiteral("%f"), path);
        return command;
    }
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    const QString aptGet = QStandardPaths::findExecutable(QStringLiteral("apt-get"));
    if (!pkexec.isEmpty() && !aptGet.isEmpty()) {
        return {pkexec, aptGet, QStringLiteral("install"), QStringLiteral("-y"), path};
    }
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!xdgOpen.isEmpty()) {
        return {xdgOpen, path};
    }
    return {};
}

CUpdateHandOff::Outcome CUpdateHandOff::handOff(const QString& path)
{
    const QStringList command = CUpdateHandOff::command(path);
    if (command.isEmpty()) {
        qCDebug(lcPlatform) << "CUpdateHandOff: no installer found for" << path;
        return Outcome::ShownOnly;
    }
    if (!QProcess::startDetached(command.first(), command.mid(1))) {
        qCDebug(lcPlatform) << "CUpdateHandOff: could not start" << command;
        return Outcome::ShownOnly;
    }
    qCDebug(lcPlatform) << "CUpdateHandOff: started" << command;
    return Outcome::InstallerStarted;
}

void CUpdateHandOff::setCommandForTesting(const QStringList& command)
{
    testCommand() = command;
}
