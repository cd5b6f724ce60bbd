#include "support/misbehavingserver.h"

#include <QTcpSocket>
#include <QTimer>

namespace {
constexpr qint64 kChunk = 64 * 1024;
// Keeps the server's own write buffer small: what it offers waits in the kernel,
// where the client takes it as fast as it reads.
constexpr qint64 kMaxQueued = 256 * 1024;
constexpr qint64 kTrickleLength = 1000000;
} // namespace

MisbehavingServer::MisbehavingServer(Mode mode, QObject* parent) : QObject(parent), m_mode(mode)
{
    connect(&m_server, &QTcpServer::newConnection, this, &MisbehavingServer::onNewConnection);
}

MisbehavingServer::~MisbehavingServer()
{
    for (Connection* connection : m_connections) {
        if (connection->socket) {
            connection->socket->disconnect(this);
            connection->socket->abort();
        }
        delete connection;
    }
}

bool MisbehavingServer::listen()
{
    if (m_mode == Trickle) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &MisbehavingServer::trickle);
        timer->start(m_trickleMs);
    }
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString MisbehavingServer::origin() const
{
    return QString("http://127.0.0.1:%1").arg(m_server.serverPort());
}

void MisbehavingServer::setHugeBody(const QByteArray& prefix, qint64 size, const QByteArray& suffix)
{
    m_prefix = prefix;
    m_hugeSize = size;
    m_suffix = suffix;
}

void MisbehavingServer::setBody(const QByteArray& body, const QByteArray& contentType)
{
    m_body = body;
    m_contentType = contentType;
}

void MisbehavingServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* connection = new Connection;
        connection->socket = socket;
        m_connections << connection;
        connect(socket, &QTcpSocket::readyRead, this, [this, connection] { onReadyRead(connection); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, connection] { pump(connection); });
        connect(socket, &QTcpSocket::disconnected, this, [this, connection] {
            if (connection->answered && !connection->complete) {
                ++m_cutOff;
            }
        });
    }
}

void MisbehavingServer::onReadyRead(Connection* connection)
{
    // Request bodies are read and dropped; one request per connection is answered.
    connection->request += connection->socket->readAll();
    if (connection->answered) {
        connection->request.clear();
        return;
    }
    const int end = connection->request.indexOf("\r\n\r\n");
    if (end < 0) {
        return;
    }
    m_requestLines << connection->request.left(connection->request.indexOf("\r\n"));
    connection->request.clear();
    connection->answered = true;
    connection->since.start();
    answer(connection);
}

void MisbehavingServer::answer(Connection* connection)
{
    QTcpSocket* socket = connection->socket;
    switch (m_mode) {
    case Silent:
        return;
    case Trickle:
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(kTrickleLength) + "\r\n\r\n");
        return;
    case Huge:
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + m_contentType +
                      "\r\nContent-Length: " + QByteArray::number(m_hugeSize) + "\r\n\r\n");
        pump(connection);
        return;
    case Whole:
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + m_contentType +
                      "\r\nContent-Length: " + QByteArray::number(m_body.size()) + "\r\n\r\n");
        socket->write(m_body);
        m_bodyBytesSent += m_body.size();
        connection->complete = true;
        return;
    }
}

void MisbehavingServer::pump(Connection* connection)
{
    QTcpSocket* socket = connection->socket;
    if (m_mode != Huge || !socket || !connection->answered) {
        return;
    }
    static const QByteArray filler(kChunk, 'a');
    while (connection->sent < m_hugeSize && socket->bytesToWrite() < kMaxQueued &&
           socket->state() == QAbstractSocket::ConnectedState) {
        QByteArray chunk;
        if (connection->sent < m_prefix.size()) {
            chunk = m_prefix.mid(int(connection->sent));
        }
        const qint64 fillerEnd = m_hugeSize - m_suffix.size();
        const qint64 fill = qMin(kChunk - chunk.size(), fillerEnd - connection->sent - chunk.size());
        if (fill > 0) {
            chunk += filler.left(int(fill));
        }
        if (connection->sent + chunk.size() >= fillerEnd) {
            chunk += m_suffix.mid(int(connection->sent + chunk.size() - fillerEnd));
        }
        socket->write(chunk);
        connection->sent += chunk.size();
        m_bodyBytesSent += chunk.size();
    }
    connection->complete = connection->sent >= m_hugeSize;
}

void MisbehavingServer::trickle()
{
    for (Connection* connection : m_connections) {
        if (connection->answered && connection->socket &&
            connection->socket->state() == QAbstractSocket::ConnectedState && !connection->complete) {
            if (connection->since.elapsed() > m_trickleForMs) {
                // Gives up as a slow server finally does; the client did not cut it off.
                connection->complete = true;
                connection->socket->disconnectFromHost();
                continue;
            }
            connection->socket->write(" ");
            ++connection->sent;
            ++m_bodyBytesSent;
        }
    }
}
