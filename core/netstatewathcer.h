#pragma once

#include "core/pingthread.h"
#include "core/singleton.h"

#include <QObject>

// Tells the client whether the network can be reached; netStateChange() comes
// on the GUI thread with the first result and at every change.
class CNetStateWathcer : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CNetStateWathcer)
public:
    ~CNetStateWathcer() override;

    bool startMonitor();
    bool stopMonitor();
    bool isNetOK() const { return m_netOK; }
    bool isMonitoring() const { return m_monitoring; }

    // How long a restart and the quit wait for a worker whose ping is ended.
    static constexpr int kEndWaitMs = 2000;

signals:
    void netStateChange(bool bNetOK);

public slots:
    void onStateChange(bool bNetOK);

private:
    CNetStateWathcer();

    CPingThread m_pingThread;
    bool m_netOK = false;
    bool m_monitoring = false;
};
