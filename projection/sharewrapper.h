#pragma once

#include "core/singleton.h"

#include <QObject>
#include <QStringList>

// The one entry point of the projection page: 5-character codes go to the
// projection manager, 4-character codes to the share manager, one of each to
// both (dual screen). Their signals are merged into one stream.
class CShareWrapper : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CShareWrapper)
public:
    enum State
    {
        Idle,
        StartingShare,
        StartingProjection,
        StartingBoth,
        Running,
        RunningBoth
    };
    enum Event
    {
        ProjectionStarted,
        ShareStarted,
        ProjectionError,
        ShareError,
        ProjectionStopped,
        ShareStopped,
        // The process refused a "sharestop": the share goes on.
        ShareStopFailed
    };
    enum Output
    {
        NoOutput,
        EmitStarted,
        EmitStopped,
        EmitError,
        StopShare,
        StopProjection
    };
    struct Step
    {
        State next;
        Output output;
    };
    // The state table: what an event does, given whether each half runs.
    static Step transition(State state, Event event, bool shareOn, bool projecting);

    ~CShareWrapper() override;

    bool start(const QStringList& codes);
    bool stop();
    bool isSharing() const;
    QString lastError() const { return m_lastError; }
    State state() const { return m_state; }

signals:
    void shareError(QString errCode, QString errMsg);
    void shareStarted();
    void shareStoped();

private slots:
    void onProjectionStarted();
    void onProjectionStoped();
    void onProjectionError(QString errCode, QString errMsg);
    void onShareManagerStarted();
    void onShareManagerStoped();
    void onShareManagerError(QString errCode, QString errMsg);
    void onShareManagerStopFailed(QString errCode, QString errMsg);

private:
    CShareWrapper();
    void handle(Event event, const QString& errCode = QString(), const QString& errMsg = QString());

    State m_state = Idle;
    QString m_lastError;
};
