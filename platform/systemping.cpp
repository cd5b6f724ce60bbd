#include "platform/systemping.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

namespace {
QString& configuredProgram()
{
    static QString program;
    return program;
}

// How often a running ping is checked for cancellation.
constexpr int kPollMs = 50;
constexpr int kKillWaitMs = 1000;

QString& configuredHost()
{
    static QString host;
    return host;
}
} // namespace

QString CSystemPing::program()
{
    const QString& program = configuredProgram();
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
    return configuredHost();
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

int CSystemPing::run(const QString& program, const QStringList& args, int timeoutMs,
                     const std::function<bool()>& cancelled)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args, QIODevice::ReadOnly);
    if (!process.waitForStarted()) {
        return -1;
    }
    QElapsedTimer elapsed;
    elapsed.start();
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(kPollMs)) {
        if (process.state() == QProcess::NotRunning) {
            break;
        }
        if ((cancelled && cancelled()) || (timeoutMs >= 0 && elapsed.elapsed() >= timeoutMs)) {
            process.kill();
            process.waitForFinished(kKillWaitMs);
            return -1;
        }
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
