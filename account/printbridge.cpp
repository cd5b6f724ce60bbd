#include "account/printbridge.h"

#include "account/accountlog.h"
#include "account/logininfo.h"
#include "account/signedrequest.h"
#include "core/apiconfig.h"
#include "core/dplustrack.h"
#include "core/logtext.h"
#include "core/singlenetworkmanger.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {
int& fetchLimitMs()
{
    static int ms = CPrintBridge::kFetchLimitMs;
    return ms;
}
} // namespace

int& connectionLifetimeMs()
{
    static int ms = CPrintBridge::kConnectionLifetimeMs;
    return ms;
}

void CPrintBridge::setFetchLimitForTesting(int ms)
{
    fetchLimitMs() = ms > 0 ? ms : kFetchLimitMs;
}

void CPrintBridge::setConnectionLifetimeForTesting(int ms)
{
    connectionLifetimeMs() = ms > 0 ? ms : kConnectionLifetimeMs;
}

CPrintBridge::CPrintBridge(QObject* parent) : QObject(parent) {}

CPrintBridge::~CPrintBridge()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
}

bool CPrintBridge::isListening() const
{
    return m_server && m_server->isListening();
}

int CPrintBridge::connectionCount() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(), [](const QPointer<QTcpSocket>& s) {
        return s && s->state() == QAbstractSocket::ConnectedState;
    }));
}

bool CPrintBridge::isOpen(QTcpSocket* socket)
{
    if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    // A driver that already hung up shows only once its end of stream is read.
    socket->waitForReadyRead(0);
    return socket->state() == QAbstractSocket::ConnectedState;
}

void CPrintBridge::start()
{
    m_active = true;
    if (!m_server) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &CPrintBridge::printConnection);
    }
    if (!m_server->isListening()) {
        const bool ok = m_server->listen(QHostAddress::LocalHost, kPort);
        qCDebug(lcAccount) << "start listen online print driver" << ok;
    }
}

void CPrintBridge::stop()
{
    m_active = false;
    ++m_generation;
    if (m_server && m_server->isListening()) {
        m_server->close();
        qCDebug(lcAccount) << "stop listen online print driver";
    }
    // Connections of the sign-in that ends go with it.
    for (const QPointer<QTcpSocket>& socket : qAsConst(m_connections)) {
        if (socket) {
            socket->abort();
        }
    }
    m_connections.clear();
    m_waiting.clear();
    if (m_server) {
        // Deleted later: a fetch for one of its connections may still be waiting.
        m_server->deleteLater();
        m_server = nullptr;
    }
}

void CPrintBridge::printConnection()
{
    auto* server = qobject_cast<QTcpServer*>(sender());
    while (server && server->hasPendingConnections()) {
        accept(server->nextPendingConnection());
    }
}

void CPrintBridge::accept(QTcpSocket* socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (!m_active) {
        socket->close();
        qCDebug(lcAccount) << "new connection from online print driver, but not login yet";
        return;
    }
    socket->setReadBufferSize(kMaxReceivedBytes);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { discard(socket); });
    QTimer::singleShot(connectionLifetimeMs(), socket, [socket] {
        qCDebug(lcAccount) << "online print driver connection open too long, closed";
        socket->abort();
    });
    m_connections.removeAll(nullptr);
    m_connections << socket;
    while (m_connections.size() > kMaxConnections) {
        const QPointer<QTcpSocket> oldest = m_connections.takeFirst();
        if (oldest) {
            qCDebug(lcAccount) << "too many online print driver connections, the oldest closed";
            oldest->abort();
        }
    }
    m_waiting << socket;
    if (m_fetching) {
        qCDebug(lcAccount) << "new connection from online print driver waits for the fetch in flight";
        return;
    }
    // Not from inside the listener's signal: the fetch waits in a nested loop,
    // in which the listener must go on taking connections.
    QTimer::singleShot(0, this, &CPrintBridge::serveWaiting);
}

void CPrintBridge::discard(QTcpSocket* socket)
{
    const qint64 received = socket->property("receivedBytes").toLongLong() + socket->readAll().size();
    socket->setProperty("receivedBytes", received);
    if (received > kMaxReceivedBytes) {
        qCDebug(lcAccount) << "online print driver sent more than" << kMaxReceivedBytes << "bytes, closed";
        socket->abort();
    }
}

void CPrintBridge::serveWaiting()
{
    const auto anyOpen = [this] {
        return std::any_of(m_waiting.begin(), m_waiting.end(),
                           [](const QPointer<QTcpSocket>& socket) { return isOpen(socket); });
    };
    if (m_fetching || !anyOpen()) {
        if (!m_fetching && !m_waiting.isEmpty()) {
            m_waiting.clear();
            qCDebug(lcAccount) << "online print driver hung up before it was served, nothing fetched";
        }
        return;
    }
    // Fetches wait in nested loops: other connections join this fetch, and a
    // logout may come meanwhile. Connections are served only for the sign-in
    // they came in.
    QPointer<CPrintBridge> self(this);
    const quint64 generation = m_generation;
    const auto& info = CLoginInfo::instance();
    const QString accountId = info->accountId;
    const auto sameSignIn = [&] { return generation == m_generation && info->accountId == accountId; };
    m_fetching = true;
    qCDebug(lcAccount) << "new connection from online print driver cause getPrintInfo first try";
    fetchPrintInfo();
    if (self && sameSignIn() && info->printInfo.isEmpty() && anyOpen()) {
        qCDebug(lcAccount) << "new connection from online print driver cause getPrintInfo second try";
        fetchPrintInfo();
    }
    if (!self) {
        return;
    }
    m_fetching = false;
    if (generation == m_generation) {
        const bool forThisSignIn = sameSignIn();
        const QList<QPointer<QTcpSocket>> served = m_waiting;
        m_waiting.clear();
        for (const QPointer<QTcpSocket>& socket : served) {
            if (!isOpen(socket)) {
                continue;
            }
            if (!forThisSignIn || info->printInfo.isEmpty()) {
                socket->close();
                qCDebug(lcAccount) << "new connection from online print driver cause getPrintInfo done, but "
                                      "userPrintInfo is still empty";
                continue;
            }
            socket->write(info->printInfo.toUtf8());
            socket->flush();
            CDplusTrack::instance()->track(QString::fromUtf8("云打印"));
            qCDebug(lcAccount) << "Send data to online print driver Ok";
        }
    }
    // Connections of a sign-in that began while a stale fetch waited.
    if (!m_waiting.isEmpty()) {
        QTimer::singleShot(0, this, &CPrintBridge::serveWaiting);
    }
}

void CPrintBridge::fetchPrintInfo()
{
    const auto& config = CApiConfig::instance();
    const QString accountId = CLoginInfo::instance()->accountId;
    const QString appId = config->slot(CApiConfig::PrintAppId);
    const QByteArray sign =
        QCryptographicHash::hash(QString("accountId=" + accountId + "appId=" + appId).toLocal8Bit(),
                                 QCryptographicHash::Md5)
            .toHex()
            .toUpper();
    const QByteArray body =
        QString("accountId=" + accountId + "&appId=" + appId + "&signPc=").toUtf8() + sign;
    QNetworkRequest request(QUrl(config->slot(CApiConfig::UrlPrintInfo)));
    request.setRawHeader("Accept", "text/html, application/xhtml+xml, */*");
    request.setHeader(QNetworkRequest::ContentTypeHeader, config->slot(CApiConfig::ContentType));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    qCDebug(lcAccount) << "Get onlineprint info";
    // Each fetch keeps its own reply: overlapping connections never read each other's.
    QPointer<QNetworkReply> reply = CSingleNetworkManger::instance()->manager()->post(request, body);
    CSignedRequest::waitFor(reply, fetchLimitMs());
    replyPrintInfo(reply, accountId);
}

void CPrintBridge::replyPrintInfo(QPointer<QNetworkReply>& reply, const QString& accountId)
{
    if (!reply) {
        return;
    }
    const CServiceAnswer answer = CSignedRequest::readAnswer(reply, false);
    const auto& info = CLoginInfo::instance();
    if (info->accountId != accountId) {
        qCDebug(lcAccount) << "online print info of an earlier sign-in dropped";
        return;
    }
    if (readPrintInfo(answer, *info)) {
        qCDebug(lcAccount).noquote() << "Get onlineprint info OK:"
                                     << LogText::maskedJson(info->printInfo.toUtf8());
        return;
    }
    qCDebug(lcAccount).noquote() << "Get online print data error:" << info->errorCode << info->errorMsg;
}

bool CPrintBridge::readPrintInfo(const CServiceAnswer& answer, CLoginInfo& info)
{
    if (answer.success) {
        info.printInfo =
            QString::fromUtf8(QJsonDocument(answer.content.toObject().value("data").toObject()).toJson());
        return true;
    }
    answer.applyErrorTo(info.errorCode, info.errorMsg, CServiceAnswer::Take::AsItCame);
    return false;
}
