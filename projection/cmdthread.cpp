#include "projection/cmdthread.h"

#include "platform/systemping.h"
#include "projection/projectionlog.h"

#include <QDebug>

void CCmdThread::setCommand(const QString& program, const QStringList& args)
{
    m_program = program;
    m_args = args;
    qCDebug(lcProjection).noquote() << "CCmdThread program:" << program << ", para: " << args.join(' ');
}

void CCmdThread::run()
{
    if (m_program.isEmpty()) {
        return;
    }
    m_exitCode =
        CSystemPing::run(m_program, m_args, kTimeLimitMs, [this] { return isInterruptionRequested(); });
    qCDebug(lcProjection) << "CCmdThread exitCode:" << m_exitCode;
    if (m_exitCode == 0 && !isInterruptionRequested()) {
        emit success(m_args);
    }
}
