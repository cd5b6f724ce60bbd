#include "janusclient.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QUrlQuery>

namespace {
// The server drops a session after 30 s without a request from it; the long
// poll counts, a keepalive covers a poll that is stuck.
constexpr int kKeepaliveMs = 15000;
// A request the server has not answered by then counts as failed.
constexpr int kRequestTimeoutMs = 10000;
constexpr int kMaxEventsPerPoll = 16;
constexpr int kPollBodyCap = 4 * 1024 * 1024;

QString newTransaction()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString text;
    for (int i = 0; i < 12; ++i) {
        text += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof(letters) - 1))]);
    }
    return text;
}
} // namespace

CJanusClient::CJanusClient(const QUrl& server, QObject* parent) : QObject(parent), m_server(server)
{
    m_keepalive.setInterval(kKeepaliveMs);
    connect(&m_keepalive, &QTimer::timeout, this, &CJanusClient::keepalive);
}

CJanusClient::~CJanusClient()
{
    m_closing = true;
    if (m_poll) {
        m_poll->abort();
    }
}

CJanusMessage CJanusClient::failure(int code, const QString& reason)
{
    CJanusMessage message;
    message.kind = CJanusMessage::Kind::Error;
    message.errorCode = code;
    message.errorReason = reason;
    return message;
}

QUrl CJanusClient::sessionUrl(qint64 handle) const
{
    QUrl url = m_server;
    QString path = url.path();
    if (!path.endsWith('/')) {
        path += '/';
    }
    path += QString::number(m_session);
    if (handle != 0) {
        path += '/' + QString::number(handle);
    }
    url.setPath(path);
    return url;
}

void CJanusClient::createSession(const Answer& answer)
{
    post(m_server, QJsonObject{{"janus", "create"}}, [this, answer](const CJanusMessage& reply) {
        if (reply.kind == CJanusMessage::Kind::Success && reply.dataId != 0) {
            m_session = reply.dataId;
            m_keepalive.start();
            poll();
        }
        answer(reply);
    });
}

void CJanusClient::attach(const Answer& answer)
{
    post(sessionUrl(), QJsonObject{{"janus", "attach"}, {"plugin", "janus.plugin.videoroom"}}, answer);
}

void CJanusClient::message(qint64 handle, const QJsonObject& body, const QJsonObject& jsep,
                           const Answer& answer)
{
    QJsonObject request{{"janus", "message"}, {"body", body}};
    if (!jsep.isEmpty()) {
        request.insert("jsep", jsep);
    }
    post(sessionUrl(handle), request, answer);
}

void CJanusClient::detach(qint64 handle)
{
    if (m_session != 0 && handle != 0) {
        post(sessionUrl(handle), QJsonObject{{"janus", "detach"}}, [](const CJanusMessage&) {});
    }
}

void CJanusClient::destroy()
{
    m_keepalive.stop();
    if (m_session != 0) {
        post(sessionUrl(), QJsonObject{{"janus", "destroy"}}, [](const CJanusMessage&) {});
    }
    m_closing = true;
    if (m_poll) {
        m_poll->abort();
    }
    m_session = 0;
}

void CJanusClient::post(const QUrl& url, QJsonObject body, const Answer& answer, bool ackAnswers)
{
    const QString transaction = newTransaction();
    body.insert("transaction", transaction);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = m_network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));

    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, transaction] {
        finishPending(transaction, failure(-1, QStringLiteral("no answer from the media server")));
    });
    timer->start(kRequestTimeoutMs);
    m_pending.insert(transaction, Pending{answer, timer});

    connect(reply, &QNetworkReply::finished, this, [this, reply, transaction, ackAnswers] {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError) {
            finishPending(transaction, failure(-1, reply->errorString()));
            return;
        }
        QList<CJanusMessage> messages;
        if (!CJanusMessage::parse(reply->read(kPollBodyCap), messages) || messages.size() != 1) {
            finishPending(transaction, failure(-2, QStringLiteral("malformed answer from the media server")));
            return;
        }
        // An acknowledged request waits for its event in the poll.
        if (ackAnswers || messages.first().kind != CJanusMessage::Kind::Ack) {
            finishPending(transaction, messages.first());
        }
    });
}

void CJanusClient::finishPending(const QString& transaction, const CJanusMessage& message)
{
    const auto it = m_pending.find(transaction);
    if (it == m_pending.end()) {
        return;
    }
    const Pending pending = it.value();
    m_pending.erase(it);
    pending.timer->deleteLater();
    pending.answer(message);
}

void CJanusClient::dispatch(const CJanusMessage& message)
{
    if (!message.transaction.isEmpty() && message.kind != CJanusMessage::Kind::Ack &&
        m_pending.contains(message.transaction)) {
        finishPending(message.transaction, message);
        return;
    }
    if (message.kind != CJanusMessage::Kind::Ack && message.kind != CJanusMessage::Kind::Keepalive) {
        emit event(message);
    }
}

void CJanusClient::poll()
{
    if (m_closing || m_session == 0) {
        return;
    }
    QUrl url = sessionUrl();
    QUrlQuery query;
    query.addQueryItem("maxev", QString::number(kMaxEventsPerPoll));
    query.addQueryItem("rid", QString::number(QDateTime::currentMSecsSinceEpoch()));
    url.setQuery(query);
    m_poll = m_network.get(QNetworkRequest(url));
    connect(m_poll, &QNetworkReply::finished, this, &CJanusClient::onPollFinished);
}

void CJanusClient::onPollFinished()
{
    QNetworkReply* reply = m_poll;
    if (!reply) {
        return;
    }
    reply->deleteLater();
    m_poll = nullptr;
    if (m_closing) {
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        qDebug().noquote() << "media server poll failed:" << reply->errorString();
        keepalive();
        return;
    }
    QList<CJanusMessage> messages;
    const QByteArray body = reply->read(kPollBodyCap);
    if (!CJanusMessage::parse(body, messages)) {
        qDebug().noquote() << "media server sent malformed events - dropped:"
                           << QString::fromUtf8(body.left(200));
    }
    poll();
    for (const CJanusMessage& message : qAsConst(messages)) {
        dispatch(message);
    }
}

// Also the check after a failed poll: a server that answers it is polled
// again, one that does not is lost.
void CJanusClient::keepalive()
{
    if (m_session == 0 || m_closing) {
        return;
    }
    post(
        sessionUrl(), QJsonObject{{"janus", "keepalive"}},
        [this](const CJanusMessage& reply) {
            if (m_closing) {
                return;
            }
            if (reply.kind == CJanusMessage::Kind::Error) {
                m_keepalive.stop();
                m_closing = true;
                emit lost(reply.errorReason);
                return;
            }
            if (!m_poll) {
                poll();
            }
        },
        true);
}
