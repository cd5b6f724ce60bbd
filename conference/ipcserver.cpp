#include "conference/ipcserver.h"
#include "core/logtext.h"

#include "conference/conferencelog.h"
#include "conference/tandemlinkapi.h"
#include "platform/localsocketname.h"

#include <QDebug>
#include <QLocalServer>
#include <QTimer>
#include <QTimerEvent>

#include <sys/socket.h>

namespace {
constexpr int kQueueRetryMs = 200;
int heartbeatIntervalMs = 21000;
} // namespace

CIPCServer::CIPCServer(QObject* parent) : QObject(parent) {}

CIPCServer::~CIPCServer()
{
    release();
}

void CIPCServer::setHeartbeatInterval(int ms)
{
    heartbeatIntervalMs = ms;
}

bool CIPCServer::init()
{
    if (m_server) {
        return true;
    }
    m_alive = true;
    m_server = new QLocalServer(this);
    // Only the user who runs the client may connect and drive conferences.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CIPCServer::onNewConnection);

    const QString name = localSocketName(CTandemlinkAPI::instance()->serverName());
    QLocalServer::removeServer(name);
    if (!m_server->listen(name)) {
        qCDebug(lcConference).noquote()
            << "Tandemlink-CIPCServer: init local server fail:" << m_server->errorString();
        m_server->deleteLater();
        m_server = nullptr;
        return false;
    }
    m_clients.clear();
    m_streams.clear();
    m_queued.clear();
    qCDebug(lcConference) << "Tandemlink-CIPCServer: init local server OK";
    CTandemlinkAPI::instance()->setFullServerName(m_server->fullServerName());
    qCDebug(lcConference).noquote() << "Tandemlink-CIPCServer: fullServerName: " + m_server->fullServerName();

    if (m_heartbeatTimerId == -1) {
        m_heartbeatTimerId = startTimer(heartbeatIntervalMs, Qt::CoarseTimer);
        m_alive = true;
    }
    return true;
}

void CIPCServer::onNewConnection()
{
    QLocalSocket* socket = m_server ? m_server->nextPendingConnection() : nullptr;
    if (!socket) {
        return;
    }
    // Any process of the user can reach the socket; only the one the client
    // started may send replies or receive commands.
    const qint64 pid = peerProcessId(socket);
    if (m_peerPid <= 0 || pid != m_peerPid) {
        qCDebug(lcConference).noquote()
            << QString("Tandemlink-CIPCServer: dropped a connection from process %1, not the "
                       "conference process %2")
                   .arg(pid)
                   .arg(m_peerPid);
        socket->abort();
        socket->deleteLater();
        return;
    }
    qCDebug(lcConference) << "Tandemlink-CIPCServer: on new connection.";
    m_clients.append(socket);
    m_streams.insert(socket, CJsonObjectScanner());
    connect(socket, &QLocalSocket::readyRead, this, &CIPCServer::onReadyRead);
    connect(socket, &QLocalSocket::disconnected, this, &CIPCServer::onDisconnected);
    connect(socket, &QLocalSocket::errorOccurred, this, &CIPCServer::onSocketError);
}

bool CIPCServer::sendData(const QByteArray& data)
{
    if (data.isEmpty() || !init()) {
        return false;
    }
    // Commands waiting for the process keep their order: a later one queues
    // behind them rather than overtaking them.
    if (m_clients.isEmpty() || !m_queued.isEmpty()) {
        qCDebug(lcConference) << "Tandemlink-CIPCServer: add queuedData";
        m_queued.append(data);
        return true;
    }
    return writeToClients(data);
}

bool CIPCServer::writeToClients(const QByteArray& data)
{
    qCDebug(lcConference) << "Tandemlink: write data to sdk ";
    for (QLocalSocket* socket : qAsConst(m_clients)) {
        if (socket->state() != QLocalSocket::ConnectedState) {
            continue;
        }
        if (socket->write(data) != data.size()) {
            return false;
        }
        // flush() is false both on failure and when the kernel took it all.
        if (!socket->flush() && socket->bytesToWrite() > 0) {
            return false;
        }
    }
    return true;
}

void CIPCServer::onReadyRead()
{
    m_alive = true;
    auto* socket = qobject_cast<QLocalSocket*>(sender());
    if (socket && socket->bytesAvailable() > 0 && m_streams.contains(socket)) {
        CJsonObjectScanner& stream = m_streams[socket];
        const QList<QByteArray> messages = stream.feed(socket->readAll());
        if (stream.droppedBytes() > 0) {
            qCDebug(lcConference).noquote()
                << QString("Tandemlink-CIPCServer: dropped %1 bytes outside any message: %2")
                       .arg(stream.droppedBytes())
                       .arg(LogText::excerpt(QString::fromUtf8(stream.droppedSample())));
        }
        if (!messages.isEmpty()) {
            m_received.append(messages);
            emit newDataReceived();
        }
    }
    if (!m_queued.isEmpty()) {
        QTimer::singleShot(kQueueRetryMs, this, &CIPCServer::writeQueuedData);
    }
}

void CIPCServer::writeQueuedData()
{
    if (m_clients.isEmpty()) {
        if (!m_queued.isEmpty()) {
            QTimer::singleShot(kQueueRetryMs, this, &CIPCServer::writeQueuedData);
        }
        return;
    }
    if (m_queued.isEmpty()) {
        return;
    }
    qCDebug(lcConference) << "Tandemlink-CIPCServer: writing queuedData to sdk, total num: "
                          << m_queued.size();
    while (!m_queued.isEmpty()) {
        writeToClients(m_queued.takeFirst());
    }
    qCDebug(lcConference) << "Tandemlink-CIPCServer: all queuedData writen";
}

qint64 CIPCServer::peerProcessId(const QLocalSocket* socket)
{
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    if (::getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials,
                     &size) != 0) {
        return -1;
    }
    return credentials.pid;
}

QList<QByteArray> CIPCServer::takeReceived()
{
    QList<QByteArray> received;
    received.swap(m_received);
    return received;
}

void CIPCServer::onDisconnected()
{
    qCDebug(lcConference) << "Tandemlink-CIPCServer: on disconnected.";
    forgetClient(qobject_cast<QLocalSocket*>(sender()));
}

void CIPCServer::onSocketError(QLocalSocket::LocalSocketError err)
{
    qCDebug(lcConference) << "Tandemlink-CIPCServer: on socket error: " << err;
    forgetClient(qobject_cast<QLocalSocket*>(sender()));
}

void CIPCServer::forgetClient(QLocalSocket* socket)
{
    if (!socket || !m_clients.removeOne(socket)) {
        return;
    }
    m_streams.remove(socket);
    socket->disconnect(this);
    socket->deleteLater();
    if (m_clients.isEmpty()) {
        emit allClientDisconnected();
    }
}

void CIPCServer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_heartbeatTimerId) {
        QObject::timerEvent(event);
        return;
    }
    if (m_alive) {
        m_alive = false;
        return;
    }
    stopHeartbeat();
    emit heartBeatFail();
}

void CIPCServer::stopHeartbeat()
{
    if (m_heartbeatTimerId != -1) {
        killTimer(m_heartbeatTimerId);
        m_heartbeatTimerId = -1;
    }
}

void CIPCServer::release()
{
    stopHeartbeat();
    for (QLocalSocket* socket : qAsConst(m_clients)) {
        socket->disconnect(this);
    }
    if (m_server) {
        delete m_server; // its sockets go with it
        m_server = nullptr;
        qCDebug(lcConference) << "Tandemlink-CIPCServer: release local server OK";
    }
    m_clients.clear();
    m_streams.clear();
    m_queued.clear();
    m_received.clear();
    m_peerPid = 0;
}
