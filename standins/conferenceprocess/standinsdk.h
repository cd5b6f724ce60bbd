#pragma once

#include "conference/jsonobjectscanner.h"
#include "roomshare.h"
#include "standinswitches.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>

// Plays the conference process: connects to the client's local server, keeps
// the heartbeat going and answers conference commands the way the real
// engine does, after a short delay, without audio or video. Shares by
// 4-character code are real: the room is looked up at the service and the
// screen streamed to its receiver (CRoomShare).
class CStandinSdk : public QObject
{
    Q_OBJECT
public:
    // rooms: the service origin and the conference app credentials, null when unknown.
    CStandinSdk(const CStandinSwitches& switches, const QString& serverName,
                const RoomServiceClient::Settings* rooms, QObject* parent = nullptr);
    void start();

private slots:
    void tryConnect();
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void sendHeartbeat();
    void pump();

private:
    struct Chunk
    {
        QByteArray bytes;
        int gapAfterMs = 0;
    };

    void handleCommand(const QJsonObject& cmd);
    void answer(const QJsonObject& cmd);
    // Sends a reply and what the switches add after it.
    void deliver(const QJsonObject& reply);
    void notify(const QString& module, int errorCode, const QString& errorMsg);
    void onRoomShareEnded(int reason);
    QJsonObject runCommand(const QJsonObject& cmd);
    void send(const QList<QByteArray>& messages);
    void afterReply(const QString& operation);

    const CStandinSwitches m_switches;
    const QString m_serverName;
    QLocalSocket m_socket;
    CJsonObjectScanner m_stream;
    QTimer m_heartbeat;
    QElapsedTimer m_connectClock;
    QList<Chunk> m_outgoing;
    bool m_pumping = false;
    bool m_silent = false;
    bool m_firstDataSent = false;
    QString m_conferenceUuid;
    QString m_screenCode;
    CRoomShare m_roomShare;
};
