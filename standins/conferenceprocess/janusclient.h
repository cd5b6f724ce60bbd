#pragma once

#include "janusmessage.h"

#include <QHash>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>

class QNetworkReply;

// The media server's HTTP API: one session, requests by transaction, and the
// long poll that brings the events. An asynchronous request (acknowledged
// first) is answered by the event that carries its transaction; events
// without a waiting transaction go out as event().
class CJanusClient : public QObject
{
    Q_OBJECT
public:
    using Answer = std::function<void(const CJanusMessage&)>;

    explicit CJanusClient(const QUrl& server, QObject* parent = nullptr);
    ~CJanusClient() override;

    // Creates the session; the answer is a Success with the id or an Error.
    void createSession(const Answer& answer);
    // Attaches a handle to the VideoRoom plugin; the answer's dataId is the handle.
    void attach(const Answer& answer);
    // A plugin request on a handle, with a session description when jsep is
    // not empty.
    void message(qint64 handle, const QJsonObject& body, const QJsonObject& jsep, const Answer& answer);
    void detach(qint64 handle);
    // Destroys the session at the server (fire and forget) and stops polling.
    void destroy();

signals:
    void event(const CJanusMessage& message);
    // The server stopped answering: the poll failed and a keepalive too.
    void lost(const QString& why);

private:
    struct Pending
    {
        Answer answer;
        QTimer* timer = nullptr;
    };

    // ackAnswers: the acknowledgement is the whole answer (keepalive).
    void post(const QUrl& url, QJsonObject body, const Answer& answer, bool ackAnswers = false);
    void finishPending(const QString& transaction, const CJanusMessage& message);
    void dispatch(const CJanusMessage& message);
    void poll();
    void onPollFinished();
    void keepalive();
    QUrl sessionUrl(qint64 handle = 0) const;
    static CJanusMessage failure(int code, const QString& reason);

    QNetworkAccessManager m_network;
    const QUrl m_server;
    qint64 m_session = 0;
    QHash<QString, Pending> m_pending;
    QPointer<QNetworkReply> m_poll;
    QTimer m_keepalive;
    bool m_closing = false;
};
