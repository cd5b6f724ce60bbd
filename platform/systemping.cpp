#include "platform/systemping.h"

#include "account/deployment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString& configuredProgram()
{
    static QString program;
    return program;
}

QString& configuredHost()
{
    static QString host;
    return host;
}
} // namespace

QString CSystemPing::program()
{
    // The deployment names the program unless a test chose another.
    const QString program =
        configuredProgram().isEmpty() ? CDeployment::value(CDeployment::PingProgram) : configuredProgram();
    if (program.contains('/') || !QCoreApplication::instance()) {
        return program;
    }
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(program);
    return QFileInfo(beside).isExecutable() ? beside : program;
}

void CSystemPing::setProgram(const QString& program)
{
    configuredProgram() = program;
}

QString CSystemPing::host()
{
    return configuredHost().isEmpty() ? CDeployment::value(CDeployment::PingHost) : configuredHost();
}

void CSystemPing::setHost(const QString& host)
{
    configuredHost() = host;
}

QStringList CSystemPing::arguments(int count, int replyTimeoutMs, const QString& host)
{
    // iputils: -c requests, -W seconds to wait for each reply (fractions allowed).
    return {"-c", QString::number(count), "-W", QString::number(replyTimeoutMs / 1000.0), host};
}
