#include "projection/cmdthread.h"

#include <QDebug>
#include <QProcess>

void CCmdThread::setCommand(const QString& program, const QStringList& args)
{
    m_program = program;
    m_args = args;
    qDebug().noquote() << "CCmdThread program:" << program << ", para: " << args.join(' ');
}

void CCmdThread::run()
{
    if (m_program.isEmpty()) {
        return;
    }
    QProcess process;
    process.start(m_program, m_args, QIODevice::ReadWrite);
    const bool finished = process.waitForFinished(5000);
    if (!finished) {
        process.kill();
        process.waitForFinished(1000);
    }
    m_exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    qDebug() << "CCmdThread exitCode:" << m_exitCode;
    if (finished && process.exitStatus() == QProcess::NormalExit && m_exitCode == 0) {
        emit success(m_args);
    }
}
