#pragma once

#include "conference/jsonobjectscanner.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QLocalSocket>
#include <QObject>

class QLocalServer;

// The local server the conference process connects to: the connected
// clients, the commands waiting for a client, the messages received and the
// heartbeat that notices a silent process.
class CIPCServer : public QObject
{
    Q_OBJECT
public:
    explicit CIPCServer(QObject* parent = nullptr);
    ~CIPCServer() override;

    bool init();
    bool sendData(const QByteArray& data);
    void release();
    // Whole messages received so far, oldest first; the list is emptied.
    QList<QByteArray> takeReceived();
    // The process allowed to connect (the conference process the client
    // started); connections from any other process are dropped.
    void setPeerProcessId(qint64 pid) { m_peerPid = pid; }

    // Test seam: the heartbeat period, 21000 ms.
    static void setHeartbeatInterval(int ms);

signals:
    void newDataReceived();
    void heartBeatFail();
    void allClientDisconnected();

protected:
    void timerEvent(QTimerEvent* event) override;

private slots:
    void onNewConnection();
    void onReadyRead();
    void onDisconnected();
    void onSocketError(QLocalSocket::LocalSocketError err);
    void writeQueuedData();

private:
    bool writeToClients(const QByteArray& data);
    void forgetClient(QLocalSocket* socket);
    void stopHeartbeat();
    static qint64 peerProcessId(const QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
    QList<QLocalSocket*> m_clients;
    // Each client's stream is cut into messages on its own.
    QHash<QLocalSocket*, CJsonObjectScanner> m_streams;
    QList<QByteArray> m_queued;
    QList<QByteArray> m_received;
    bool m_alive = true;
    int m_heartbeatTimerId = -1;
    qint64 m_peerPid = 0;
};
