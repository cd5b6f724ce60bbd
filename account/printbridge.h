#pragma once

#include <QNetworkReply>
#include <QObject>
#include <QPointer>

class QTcpServer;
class QTcpSocket;
class CLoginInfo;
struct CServiceAnswer;

// The online print bridge: while someone is signed in it listens on
// 127.0.0.1:6668, and a print driver that connects gets the user's print
// information, fetched from the print service at that moment. The client
// never reads from a driver.
class CPrintBridge : public QObject
{
    Q_OBJECT
public:
    explicit CPrintBridge(QObject* parent = nullptr);
    ~CPrintBridge() override;

    static constexpr quint16 kPort = 6668;
    static constexpr int kFetchLimitMs = 4000;
    // Drivers served at once; a further connection ends the oldest.
    static constexpr int kMaxConnections = 8;
    // A driver hangs up once it has the information; one that does not is ended.
    static constexpr int kConnectionLifetimeMs = 60000;
    // A driver sends nothing; a peer that sends more than this is ended.
    static constexpr qint64 kMaxReceivedBytes = 4096;

    // Listening from the end of a sign-in; stop() closes and drops the
    // listener and ends every driver connection with it.
    void start();
    void stop();
    bool isListening() const;
    // Driver connections held open.
    int connectionCount() const;

    // Test seams: the fetch's time limit, a connection's lifetime (0 restores).
    static void setFetchLimitForTesting(int ms);
    static void setConnectionLifetimeForTesting(int ms);

    // The content parsing of the print service's answer: on success its
    // "data" object, as indented JSON, becomes info's print information; a
    // failure leaves its code and text in info. True on success.
    static bool readPrintInfo(const CServiceAnswer& answer, CLoginInfo& info);

private slots:
    void printConnection();

private:
    // Bounds a new connection and queues it for the next (or current) fetch.
    void accept(QTcpSocket* socket);
    // Drops what a driver sends; a peer that keeps sending is ended.
    void discard(QTcpSocket* socket);
    // Fetches once for every waiting connection that is still open and
    // serves them all with its outcome.
    void serveWaiting();
    static bool isOpen(QTcpSocket* socket);

    // One unsigned fetch of the print information, waiting at most the
    // fetch limit; fills CLoginInfo::printInfo on success.
    void fetchPrintInfo();
    // Applies an answer only while the account it was fetched for is signed in.
    void replyPrintInfo(QPointer<QNetworkReply>& reply, const QString& accountId);

    bool m_active = false;
    // Counts stops: connections of an earlier sign-in are not served (nor
    // are they when another account signed in meanwhile).
    quint64 m_generation = 0;
    QTcpServer* m_server = nullptr;
    // Open connections in arrival order, and those waiting for the print information.
    QList<QPointer<QTcpSocket>> m_connections;
    QList<QPointer<QTcpSocket>> m_waiting;
    bool m_fetching = false;
};
