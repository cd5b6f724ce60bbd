#pragma once

#include "conference/jsonobjectscanner.h"
#include "standinswitches.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QTimer>

// Plays the conference process without a media engine: connects to the
// client's local server, keeps the heartbeat going, and answers conference and
// share commands the way the real engine does, after a short delay.
class CStandinSdk : public QObject
{
    Q_OBJECT
public:
    CStandinSdk(const CStandinSwitches& switches, const QString& serverName, QObject* parent = nullptr);
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
};
