#pragma once

// The receiver's side of the control connection: answers projection requests
// (one projection at a time, later senders get BUSY; a share to the meeting
// room takes over from whoever shows, who is told so), cuts the stream into
// frames, feeds the decoder and keeps the connection alive. Anything a peer
// sends that is not the protocol ends that connection and nothing else.

#include "streaming/framereader.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

class QTcpServer;
class StreamDecoder;

class ReceiverServer : public QObject
{
    Q_OBJECT
public:
    enum Mode
    {
        Accept,
        Busy,
        Reject
    };

    explicit ReceiverServer(QObject* parent = nullptr);
    ~ReceiverServer() override;

    bool listen(const QHostAddress& address, quint16 port, QString& problem);
    quint16 port() const;
    void setMode(Mode mode) { m_mode = mode; }
    // Ends each projection this many ms after it started (0: never).
    void setStopAfter(int ms) { m_stopAfterMs = ms; }
    bool isProjecting() const { return m_active; }

public slots:
    // The receiver ends the running projection (Esc, stop button, "stop").
    void stopProjection();

signals:
    // sharer: the name a share to the meeting room carried ("" without one).
    void projectionStarted(const QString& sharer);
    void pictureReady(const QImage& picture);
    void projectionEnded();
    // One console line about what happened.
    void message(const QString& text);

private:
    void onNewConnection();
    void readRequest(QTcpSocket* socket);
    void readStream();
    void onActiveDisconnected();
    void onKeepAlive();
    // Ends the running projection; farewell sends STOP (or the given frame) first.
    void endProjection(const QString& why, bool farewell,
                       StreamFrame::Type farewellFrame = StreamFrame::Stop);
    void sendFrame(const std::string& frame);

    QTcpServer* m_server = nullptr;
    Mode m_mode = Accept;
    int m_stopAfterMs = 0;
    QPointer<QTcpSocket> m_active;
    FrameReader m_reader;
    StreamDecoder* m_decoder = nullptr;
    QTimer m_keepAlive;
    QTimer m_stopAfter;
    QElapsedTimer m_lastHeard;
    QElapsedTimer m_lastSent;
    // What the running projection brought, reported when it ends.
    QElapsedTimer m_since;
    qint64 m_bytes = 0;
    int m_frames = 0;
    int m_pictures = 0;
    bool m_pictured = false;
    bool m_askedForKeyFrame = false;
};
