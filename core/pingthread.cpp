#include "core/pingthread.h"

#include "platform/systemping.h"

#include <QNetworkConfigurationManager>

namespace {
// The bearer API only answers on the thread that owns it, so the check is
// made by a manager living on the GUI thread.
QNetworkConfigurationManager& configurationManager()
{
    static QNetworkConfigurationManager manager;
    return manager;
}

std::function<bool()>& onlineCheck()
{
    static std::function<bool()> check;
    return check;
}
} // namespace

CPingThread::CPingThread(QObject* parent) : QThread(parent) {}

CPingThread::~CPingThread() = default;

QWaitCondition& CPingThread::waitCondition()
{
    static QWaitCondition condition;
    return condition;
}

void CPingThread::setOnlineCheck(std::function<bool()> check)
{
    onlineCheck() = std::move(check);
}

void CPingThread::run()
{
    m_program = CSystemPing::program();
    m_arguments = CSystemPing::arguments(3, 3000, CSystemPing::host());
    m_state = false;
    m_reportNext = true;
    while (!isInterruptionRequested()) {
        bool result = false;
        const bool online = onlineCheck() ? onlineCheck()() : configurationManager().isOnline();
        if (online) {
            result = CSystemPing::run(m_program, m_arguments, -1, [this] { return m_pingEnded.load(); }) == 0;
        }
        if (m_pingEnded) {
            break; // a ping ended on purpose tells nothing about the network
        }
        if (m_reportNext) {
            m_reportNext = false;
            report(result);
        } else if (result != m_state) {
            report(result);
        }
        if (isInterruptionRequested()) {
            break;
        }
        QMutexLocker locker(&m_mutex);
        if (!isInterruptionRequested()) {
            waitCondition().wait(&m_mutex, kCycleWaitMs);
        }
    }
}

void CPingThread::requestStop()
{
    requestInterruption();
    // Under the mutex, so the wake-up cannot fall between the worker's check and its wait.
    QMutexLocker locker(&m_mutex);
    waitCondition().wakeAll();
}

bool CPingThread::end(int waitMs)
{
    m_pingEnded = true;
    requestStop();
    return wait(waitMs);
}

void CPingThread::startWatching()
{
    // Made here, on the GUI thread, not with the thread: the bearer plugins
    // it loads are not needed before the first ping.
    connect(&configurationManager(), &QNetworkConfigurationManager::onlineStateChanged, this,
            &CPingThread::onOnlineStateChanged, Qt::UniqueConnection);
    m_pingEnded = false;
    start(QThread::InheritPriority);
}

void CPingThread::report(bool result)
{
    m_state = result;
    emit stateChanged(result);
}

void CPingThread::onOnlineStateChanged(bool bOnline)
{
    if (!bOnline) {
        m_state = false;
        emit stateChanged(false);
    }
}
