#pragma once

#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>

// Pings the watch host every few seconds while the system reports a network,
// and reports each change of reachability.
class CPingThread : public QThread
{
    Q_OBJECT
public:
    explicit CPingThread(QObject* parent = nullptr);
    ~CPingThread() override;

    // Shared by the whole client: stopping wakes the worker early.
    static QWaitCondition& waitCondition();
    // Whether the system says a network is up; tests replace it.
    static void setOnlineCheck(std::function<bool()> check);
    static constexpr int kCycleWaitMs = 4000;

    // Asks the worker to end and wakes it if it sleeps between cycles.
    void requestStop();
    // Asks the worker to end, ends a running ping at once and waits at most
    // waitMs for the thread to finish; true when it has.
    bool end(int waitMs);
    // Starts the worker (again): a previous end() no longer applies.
    void startWatching();

signals:
    void stateChanged(bool bNetOK);

private slots:
    void onOnlineStateChanged(bool bOnline);

protected:
    void run() override;

private:
    void report(bool result);

    std::atomic<bool> m_state{false};
    std::atomic<bool> m_pingEnded{false};
    bool m_reportNext = false;
    QMutex m_mutex;
    QString m_program;
    QStringList m_arguments;
};
