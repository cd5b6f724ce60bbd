#pragma once

#include "core/singleton.h"
#include "projection/projectionproxy.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class CCmdThread;

// Projects the screen to one or two receivers named by 5-character codes:
// first by code, then by the receivers' addresses found through the code
// lookup and a ping of the likely private networks. A 200 ms state timer
// drives the attempt and announces what the library's callbacks set.
class CProjectionManager : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CProjectionManager)
public:
    ~CProjectionManager() override;

    bool start(const QStringList& codes);
    bool stop();
    bool isProjecting() const { return m_callback.projecting; }
    QString lastError() const { return m_lastError; }
    void startStateTimer();
    void stopStateTimer();

    // One step of the state timer (every 200 ms while it runs).
    void onStateTick();

    static constexpr int kTickMs = 200;

signals:
    void projectStarted();
    void projectStoped();
    void projectError(QString errCode, QString errMsg);

protected:
    void timerEvent(QTimerEvent* event) override;

private slots:
    // A ping of the given attempt answered.
    void onPingOK(int attempt, QStringList para);

private:
    CProjectionManager();
    int startSession(int kind);
    bool lookupCodes();
    void startPings();
    void syncState();
    void failCode(const QString& logLine);

    QList<QStringList> m_candidates;
    QStringList m_targets;
    CProjectionProxy m_callback;
    bool m_reportedState = false;
    unsigned m_successesSeen = 0;
    QString m_lastError;
    int m_counter = -1;
    int m_timerId = -1;
    // How many codes the running attempt projects to.
    int m_codeCount = 0;
    // Counts the attempts: a ping answers only for the attempt that sent it.
    int m_attempt = 0;
    // Pings still running; they end (or are waited for) when the manager goes.
    QList<QPointer<CCmdThread>> m_pings;
};
