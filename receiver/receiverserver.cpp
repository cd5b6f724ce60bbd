#include "receiver/receiverserver.h"

#include "receiver/streamdecoder.h"
#include "streaming/controlline.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {
// A peer that has not asked for a projection by then is dropped.
constexpr int kRequestTimeoutMs = 5000;

QString peerName(const QTcpSocket* socket)
{
    return QString("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
}
} // namespace

ReceiverServer::ReceiverServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &ReceiverServer::onNewConnection);
    m_keepAlive.setInterval(100);
    connect(&m_keepAlive, &QTimer::timeout, this, &ReceiverServer::onKeepAlive);
    m_stopAfter.setSingleShot(true);
    connect(&m_stopAfter, &QTimer::timeout, this, &ReceiverServer::stopProjection);
}

ReceiverServer::~ReceiverServer()
{
    if (m_active) {
        endProjection(QString(), true);
    }
}

bool ReceiverServer::listen(const QHostAddress& address, quint16 port, QString& problem)
{
    if (!m_server->listen(address, port)) {
        problem = m_server->errorString();
        return false;
    }
    return true;
}

quint16 ReceiverServer::port() const
{
    return m_server->serverPort();
}

void ReceiverServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
        QTimer::singleShot(kRequestTimeoutMs, socket, [this, socket] {
            if (socket != m_active && socket->state() == QAbstractSocket::ConnectedState &&
                socket->property("answered").isNull()) {
                emit message("bad input: no request from " + peerName(socket));
                socket->abort();
            }
        });
    }
}

void ReceiverServer::readRequest(QTcpSocket* socket)
{
    if (socket == m_active || !socket->property("answered").isNull()) {
        return;
    }
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= qint64(ControlLine::kMaxRequestLength)) {
            emit message("bad input: request line too long from " + peerName(socket));
            socket->abort();
        }
        return;
    }
    const QByteArray raw = socket->readLine(ControlLine::kMaxRequestLength);
    const ControlLine request = ControlLine::parse(raw.chopped(raw.endsWith('\n') ? 1 : 0).toStdString());
    socket->setProperty("answered", true);
    auto refuse = [socket](ControlLine::Kind kind, int reason = 0) {
        socket->write(ControlLine::text(kind, reason).c_str());
        socket->disconnectFromHost();
    };
    if (request.kind != ControlLine::Project && request.kind != ControlLine::Share) {
        emit message("bad input: not a projection request from " + peerName(socket));
        socket->abort();
        return;
    }
    const bool takeOver = request.kind == ControlLine::Share && m_mode == Accept && m_active;
    if (m_mode == Busy || (m_active && !takeOver)) {
        emit message("refused: busy");
        refuse(ControlLine::Busy);
        return;
    }
    if (m_mode == Reject) {
        emit message("refused: rejected");
        refuse(ControlLine::Reject, 1);
        return;
    }

    if (takeOver) {
        endProjection("projection taken over by another sender", true, StreamFrame::Replaced);
    }
    m_decoder = new StreamDecoder(this);
    QString problem;
    if (!m_decoder->start(problem)) {
        emit message("refused: " + problem);
        delete m_decoder;
        m_decoder = nullptr;
        refuse(ControlLine::Reject, 2);
        return;
    }
    // A decoder being torn down may still deliver a picture: only the current one counts.
    StreamDecoder* decoder = m_decoder;
    connect(m_decoder, &StreamDecoder::pictureReady, this, [this, decoder](const QImage& picture) {
        if (decoder != m_decoder) {
            return;
        }
        ++m_pictures;
        if (!m_pictured) {
            m_pictured = true;
            emit message(QString("first picture %1x%2, %3 ms after ACCEPT")
                             .arg(picture.width())
                             .arg(picture.height())
                             .arg(m_since.elapsed()));
        }
        emit pictureReady(picture);
    });
    connect(m_decoder, &StreamDecoder::failed, this, [this, decoder](const QString& why) {
        if (decoder == m_decoder) {
            endProjection("projection lost: bad stream: " + why, true);
        }
    });

    m_active = socket;
    m_reader = FrameReader();
    m_pictured = false;
    m_askedForKeyFrame = false;
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    connect(socket, &QTcpSocket::readyRead, this, &ReceiverServer::readStream);
    connect(socket, &QTcpSocket::disconnected, this, &ReceiverServer::onActiveDisconnected);
    socket->write(ControlLine::text(ControlLine::Accept).c_str());
    m_lastHeard.start();
    m_lastSent.start();
    m_since.start();
    m_bytes = 0;
    m_frames = 0;
    m_pictures = 0;
    m_keepAlive.start();
    if (m_stopAfterMs > 0) {
        m_stopAfter.start(m_stopAfterMs);
    }
    const QString sharer = QString::fromUtf8(request.name.data(), int(request.name.size()));
    emit message(request.kind == ControlLine::Share ? "projection started (share to the room)"
                                                    : "projection started");
    if (!sharer.isEmpty()) {
        emit message("sharer: " + sharer);
    }
    emit projectionStarted(sharer);
    // Frames may have come with the request.
    if (socket->bytesAvailable() > 0) {
        readStream();
    }
}

void ReceiverServer::readStream()
{
    if (!m_active) {
        return;
    }
    const QByteArray bytes = m_active->readAll();
    if (bytes.isEmpty()) {
        return;
    }
    m_lastHeard.start();
    m_bytes += bytes.size();
    m_reader.feed(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    StreamFrame frame;
    FrameReader::Result result;
    while (m_active && (result = m_reader.next(frame)) == FrameReader::Frame) {
        switch (frame.type) {
        case StreamFrame::Video:
            ++m_frames;
            // Decoding can only begin at a key frame: ask once instead of waiting.
            if (!m_pictured && !(frame.flags & StreamFrame::KeyFrame) && !m_askedForKeyFrame) {
                m_askedForKeyFrame = true;
                sendFrame(StreamFrame::empty(StreamFrame::KeyFrameRequest));
            }
            m_decoder->push(frame.payload);
            break;
        case StreamFrame::Stop:
            endProjection("projection stopped by sender", false);
            return;
        case StreamFrame::Ping:
        case StreamFrame::KeyFrameRequest:
        case StreamFrame::Replaced:
            break;
        }
    }
    if (m_active && result == FrameReader::Error) {
        endProjection("projection lost: bad stream: " + QString::fromStdString(m_reader.error()), true);
    }
}

void ReceiverServer::onActiveDisconnected()
{
    if (!m_active) {
        return;
    }
    endProjection(m_reader.pending() > 0 ? "projection lost: the sender stopped mid-frame"
                                         : "projection ended by sender",
                  false);
}

void ReceiverServer::onKeepAlive()
{
    if (!m_active) {
        return;
    }
    if (m_lastHeard.elapsed() > StreamFrame::kSilenceLimitMs) {
        endProjection("projection lost: the sender fell silent", false);
        return;
    }
    if (m_lastSent.elapsed() >= StreamFrame::kPingIntervalMs) {
        sendFrame(StreamFrame::empty(StreamFrame::Ping));
    }
}

void ReceiverServer::sendFrame(const std::string& frame)
{
    if (m_active) {
        m_active->write(frame.data(), static_cast<qint64>(frame.size()));
        m_lastSent.start();
    }
}

void ReceiverServer::stopProjection()
{
    if (m_active) {
        endProjection("projection ended by receiver", true);
    }
}

void ReceiverServer::endProjection(const QString& why, bool farewell, StreamFrame::Type farewellFrame)
{
    QTcpSocket* socket = m_active;
    m_active = nullptr;
    m_keepAlive.stop();
    m_stopAfter.stop();
    if (socket) {
        disconnect(socket, nullptr, this, nullptr);
        if (farewell && socket->state() == QAbstractSocket::ConnectedState) {
            const std::string stop = StreamFrame::empty(farewellFrame);
            socket->write(stop.data(), static_cast<qint64>(stop.size()));
            socket->flush();
            socket->disconnectFromHost();
        } else {
            socket->abort();
        }
    }
    if (m_decoder) {
        m_decoder->deleteLater();
        m_decoder = nullptr;
    }
    if (!why.isEmpty()) {
        emit message(why);
    }
    if (socket) {
        const double seconds = qMax<qint64>(1, m_since.elapsed()) / 1000.0;
        emit message(QString("stream: %1 s, %2 frames, %3 pictures, %4 kbit/s")
                         .arg(seconds, 0, 'f', 1)
                         .arg(m_frames)
                         .arg(m_pictures)
                         .arg(m_bytes * 8 / 1000.0 / seconds, 0, 'f', 0));
    }
    emit projectionEnded();
}
