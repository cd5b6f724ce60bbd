#pragma once

#include "core/singleton.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QProcess>

class CIPCServer;

// Owns the conference process: starts it with the first command, hands it
// commands over the local server and turns what it sends back into signals.
class CTandemlinkProc : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CTandemlinkProc)
public:
    ~CTandemlinkProc() override;

    bool exeCmd(const QJsonObject& cmd);
    QString lastError() const { return m_lastError; }
    void closeProcess();
    // Handles one whole message the IPC server cut from the process's stream:
    // a heartbeat, a reply or a notification; anything else is dropped.
    void parseMessage(const QByteArray& message);

signals:
    void shareStarted();
    void shareStoped();
    void shareError(QString errCode, QString errMsg);
    void meetingStarted();
    void meetingStoped();
    void meetingError(QString errMsg);
    // The process answered "sharestop" or "conferencedisconnect" with success
    // false: the share or the conference goes on.
    void shareStopFailed(QString errCode, QString errMsg);
    void meetingStopFailed(QString errMsg);

private slots:
    void onNewDataReceived();
    void onHeartBeatFailed();
    void onProcFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onProcStarted();
    void onProcError(QProcess::ProcessError error);
    void onProcStateChanged(QProcess::ProcessState newState);

private:
    CTandemlinkProc();
    bool createProcess();
    void handleReply(const QJsonObject& data);
    void handleNotification(const QJsonObject& data);

    QPointer<QProcess> m_process;
    CIPCServer* m_ipc;
    QString m_lastError;
    // Starts handed to the process and not yet answered: if the process ends
    // meanwhile, they failed.
    bool m_shareStartPending = false;
    bool m_meetingStartPending = false;
};
