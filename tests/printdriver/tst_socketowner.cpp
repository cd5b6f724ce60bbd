#include "printdriver/socketowner.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Whose socket the driver reached, from the kernel's socket table: lines of
// /proc/net/tcp and tcp6 as the kernel writes them, and a real connection.
class TestSocketOwner : public QObject
{
    Q_OBJECT
private slots:
    void findsTheEntryOfTheConnection_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<bool>("ipv6");
        QTest::addColumn<bool>("found");
        QTest::addColumn<qulonglong>("uid");
        const QByteArray heading =
            "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
            "timeout inode\n";
        // Local 127.0.0.1:6668 (1A0C), remote 127.0.0.1:40000 (9C40).
        QTest::newRow("the client's end, accepted")
            << heading + "   0: 0100007F:1A0C 0100007F:9C40 01 00000000:00000000 00:00000000 00000000  1000  "
                         "      0 "
                         "54321 1 0000000000000000 20 4 30 10 -1\n"
            << false << true << qulonglong(1000);
        QTest::newRow("not accepted yet (inode 0)")
            << heading +
                   "   3: 0100007F:1A0C 0100007F:9C40 01 00000000:00000000 00:00000000 00000000    65534 0 0 "
                   "1 0000000000000000\n"
            << false << true << qulonglong(65534);
        QTest::newRow("only the listener and our own end")
            << heading + "   0: 0100007F:1A0C 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000  "
                         "0 1 1 0\n"
                         "   1: 0100007F:9C40 0100007F:1A0C 01 00000000:00000000 00:00000000 00000000     0  "
                         "0 2 1 0\n"
            << false << false << qulonglong(0);
        QTest::newRow("another connection to the port")
            << heading + "   0: 0100007F:1A0C 0100007F:9C41 01 00000000:00000000 00:00000000 00000000  1000 "
                         "0 5 1 0\n"
            << false << false << qulonglong(0);
        QTest::newRow("an IPv6 listener, IPv4-mapped")
            << heading +
                   "   0: 0000000000000000FFFF00000100007F:1A0C 0000000000000000FFFF00000100007F:9C40 01 "
                   "00000000:00000000 00:00000000 00000000  1001        0 777 1 0\n"
            << true << true << qulonglong(1001);
        QTest::newRow("a true IPv6 address")
            << heading + "   0: 00000000000000000000000001000000:1A0C "
                         "00000000000000000000000001000000:9C40 01 "
                         "00000000:00000000 00:00000000 00000000  1001 0 777 1 0\n"
            << true << false << qulonglong(0);
        QTest::newRow("a cut line") << heading + "   0: 0100007F:1A0C 0100007F:9C40 01\n"
                                    << false << false << qulonglong(0);
        QTest::newRow("garbage") << QByteArray("\x01\x02 zz:yy 1A0C:0100007F\n\n") << false << false
                                 << qulonglong(0);
    }

    void findsTheEntryOfTheConnection()
    {
        QFETCH(QByteArray, table);
        QFETCH(bool, ipv6);
        QFETCH(bool, found);
        QFETCH(qulonglong, uid);
        const SocketOwner::Entry entry = SocketOwner::find(table.toStdString(), ipv6, htonl(INADDR_LOOPBACK),
                                                           6668, htonl(INADDR_LOOPBACK), 40000);
        QCOMPARE(entry.found, found);
        QCOMPARE(qulonglong(entry.uid), uid);
    }

    // A real connection on loopback, accepted or still queued: its far end is
    // this process's socket.
    void findsThePeerOfARealConnection()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0);
        QVERIFY(::listen(listener, 4) == 0);
        QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        const int client = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0);

        const SocketOwner::Entry queued = SocketOwner::peerOf(client);
        QVERIFY(queued.found);
        QCOMPARE(queued.uid, static_cast<unsigned long>(::geteuid()));

        const int accepted = ::accept(listener, nullptr, nullptr);
        QVERIFY(accepted >= 0);
        const SocketOwner::Entry served = SocketOwner::peerOf(client);
        QVERIFY(served.found);
        QCOMPARE(served.uid, static_cast<unsigned long>(::geteuid()));
        QVERIFY(served.inode != 0);
        ::close(accepted);
        ::close(client);
        ::close(listener);
    }
};

QTEST_GUILESS_MAIN(TestSocketOwner)
#include "tst_socketowner.moc"
