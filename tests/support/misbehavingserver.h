#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// An HTTP server on a free port of 127.0.0.1 that answers every request in
// one bad way, for the client's time and size limits. It runs in the test's
// thread: the client's waits keep it going.
class MisbehavingServer : public QObject
{
    Q_OBJECT
public:
    enum Mode
    {
        Silent,  // takes the request, never answers
        Trickle, // headers, then one body byte per trickle interval; closes after trickleFor
        Huge,    // a body of hugeSize bytes: prefix, filler 'a', suffix, as fast as it is taken
        Whole,   // the given body in full
    };

    explicit MisbehavingServer(Mode mode, QObject* parent = nullptr);
    ~MisbehavingServer() override;

    bool listen();
    QString origin() const; // "http://127.0.0.1:<port>"

    void setHugeBody(const QByteArray& prefix, qint64 size, const QByteArray& suffix);
    void setBody(const QByteArray& body, const QByteArray& contentType);
    void setTrickleIntervalMs(int ms) { m_trickleMs = ms; }
    void setTrickleForMs(int ms) { m_trickleForMs = ms; }

    // Requests whose headers arrived, and their request lines.
    int requestCount() const { return m_requestLines.size(); }
    QList<QByteArray> requestLines() const { return m_requestLines; }
    // Body bytes handed to the sockets so far, over all connections.
    qint64 bodyBytesSent() const { return m_bodyBytesSent; }
    // Answers the client hung up on before they were complete.
    int answersCutOff() const { return m_cutOff; }

private:
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        QByteArray request;
        bool answered = false;
        bool complete = false;
        qint64 sent = 0;
        QElapsedTimer since;
    };

    void onNewConnection();
    void onReadyRead(Connection* connection);
    void answer(Connection* connection);
    void pump(Connection* connection);
    void trickle();

    Mode m_mode;
    QTcpServer m_server;
    QList<Connection*> m_connections;
    QList<QByteArray> m_requestLines;
    QByteArray m_prefix;
    QByteArray m_suffix;
    qint64 m_hugeSize = 64 * 1024 * 1024;
    QByteArray m_body;
    QByteArray m_contentType = "application/json; charset=utf-8";
    int m_trickleMs = 100;
    int m_trickleForMs = 20000;
    int m_cutOff = 0;
    qint64 m_bodyBytesSent = 0;
};
