#include "core/netstatewathcer.h"

#include "core/corelog.h"

#include <QDebug>

CNetStateWathcer::CNetStateWathcer() : m_pingThread(this) {}

CNetStateWathcer::~CNetStateWathcer()
{
    stopMonitor();
    // A ping can outlast the stop's wait; the thread must end before it goes,
    // so the ping is ended rather than waited for.
    if (!m_pingThread.end(kEndWaitMs)) {
        qCDebug(lcCore) << "CNetStateWathcer: the ping thread did not end in time";
        m_pingThread.wait();
    }
}

bool CNetStateWathcer::startMonitor()
{
    if (m_monitoring) {
        return true;
    }
    m_monitoring = true;
    connect(&m_pingThread, &CPingThread::stateChanged, this, &CNetStateWathcer::onStateChange,
            Qt::UniqueConnection);
    qCDebug(lcCore) << "CNetStateWathcer: starting monitor...";
    // Stopped while a ping ran, the worker may still be in its last cycle:
    // starting a running thread does nothing, so that run is ended first.
    if (m_pingThread.isRunning() && !m_pingThread.end(kEndWaitMs)) {
        qCDebug(lcCore) << "CNetStateWathcer: the ping thread did not end in time";
    }
    m_pingThread.startWatching();
    qCDebug(lcCore) << "CNetStateWathcer: monitor started";
    return true;
}

bool CNetStateWathcer::stopMonitor()
{
    if (!m_monitoring) {
        return false;
    }
    m_monitoring = false;
    qCDebug(lcCore) << "CNetStateWathcer: stoping monitor...";
    m_pingThread.requestStop();
    m_pingThread.wait(500);
    qCDebug(lcCore) << "CNetStateWathcer: monitor stoped";
    return true;
}

void CNetStateWathcer::onStateChange(bool bNetOK)
{
    m_netOK = bNetOK;
    qCDebug(lcCore) << (bNetOK ? "network OK" : "network fail");
    emit netStateChange(bNetOK);
}
