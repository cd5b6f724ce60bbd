#pragma once

#include "conference/jsonobjectscanner.h"
#include "conferenceroom.h"
#include "conferencewindow.h"
#include "roomshare.h"
#include "standinswitches.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>
#include <QUrl>

// The conference process: connects to the client's local server, keeps the
// heartbeat going and carries out its commands. Conferences take place on the
// media server (CConferenceRoom) and are shown in a window of their own;
// shares by 4-character code look the room up at the service and stream the
// screen to its receiver (CRoomShare). Without a media server, or when told,
// conferences are answered after a short delay with no media.
class CStandinSdk : public QObject
{
    Q_OBJECT
public:
    // rooms: the service origin and the conference app credentials, null when unknown.
    CStandinSdk(const CStandinSwitches& switches, const QString& serverName,
                const RoomServiceClient::Settings* rooms, const QUrl& mediaServer, QObject* parent = nullptr);
    ~CStandinSdk() override;
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
    CWebRtcLink::Media media() const;
    void joinConference(const QString& uuid, const QString& memberName);
    void leaveConference();

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
    const QUrl m_mediaServer;
    CConferenceRoom* m_conference = nullptr;
    CConferenceWindow* m_window = nullptr;
};
