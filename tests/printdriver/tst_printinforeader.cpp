#include "printdriver/printinforeader.h"

#include <QThread>
#include <QtTest>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>

Q_DECLARE_METATYPE(PrintInfoReader::Outcome)

// The print information as the driver reads it from the client's connection:
// a peer on the other end of a real socket writes it in pieces, or misbehaves.
class TestPrintInfoReader : public QObject
{
    Q_OBJECT
private slots:
    void readsUntilTheObjectIsComplete_data()
    {
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QString>("then"); // "close", "stay" (open, silent) or "trickle"
        QTest::addColumn<PrintInfoReader::Outcome>("outcome");
        QTest::addColumn<QByteArray>("text");
        using O = PrintInfoReader::Outcome;
        const QByteArray indented =
            "{\n    \"accountId\": 10001,\n    \"printQueue\": \"vantelor-cloud-print\"\n}\n";

        QTest::newRow("one write, kept open like the client")
            << QList<QByteArray>{indented} << "stay" << O::Complete << indented.trimmed();
        QTest::newRow("split over reads") << QList<QByteArray>{"{\"a\":", "1,\"b\":\"}\"", "}"} << "stay"
                                          << O::Complete << QByteArray("{\"a\":1,\"b\":\"}\"}");
        QTest::newRow("split inside an escape") << QList<QByteArray>{"  {\"a\":\"x\\", "\"}\"}"} << "stay"
                                                << O::Complete << QByteArray("{\"a\":\"x\\\"}\"}");
        QTest::newRow("nested, one byte a write") << [] {
            QList<QByteArray> bytes;
            for (char c : QByteArray("{\"a\":[{\"b\":[]},\"]\"],\"c\":{}}")) {
                bytes << QByteArray(1, c);
            }
            return bytes;
        }() << "stay" << O::Complete << QByteArray("{\"a\":[{\"b\":[]},\"]\"],\"c\":{}}");
        QTest::newRow("bytes after the object are left")
            << QList<QByteArray>{"{}{\"b\":2}"} << "close" << O::Complete << QByteArray("{}");
        QTest::newRow("closed without data")
            << QList<QByteArray>{} << "close" << O::ClosedEmpty << QByteArray();
        QTest::newRow("closed after white space")
            << QList<QByteArray>{"\n  "} << "close" << O::ClosedEmpty << QByteArray();
        QTest::newRow("closed half way")
            << QList<QByteArray>{"{\"a\":[1,"} << "close" << O::ClosedIncomplete << QByteArray();
        QTest::newRow("an HTTP answer")
            << QList<QByteArray>{"HTTP/1.1 200 OK\r\n\r\n{}"} << "stay" << O::Garbage << QByteArray();
        QTest::newRow("a JSON array") << QList<QByteArray>{"[1]"} << "stay" << O::Garbage << QByteArray();
        QTest::newRow("brackets that do not match")
            << QList<QByteArray>{"{\"a\":[1}"} << "stay" << O::Garbage << QByteArray();
        QTest::newRow("a control character in a string")
            << QList<QByteArray>{QByteArray("{\"a\":\"\x01\"}")} << "stay" << O::Garbage << QByteArray();
        QTest::newRow("endless sender, fast") << QList<QByteArray>{"{\"a\":[" + QByteArray(200 * 1024, ' ')}
                                              << "stay" << O::TooLarge << QByteArray();
        QTest::newRow("endless sender, slow")
            << QList<QByteArray>{"{\"a\":["} << "trickle" << O::TimedOut << QByteArray();
        QTest::newRow("silent peer") << QList<QByteArray>{} << "stay" << O::TimedOut << QByteArray();
    }

    void readsUntilTheObjectIsComplete()
    {
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QString, then);
        QFETCH(PrintInfoReader::Outcome, outcome);
        QFETCH(QByteArray, text);

        int pair[2];
        QVERIFY(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0);
        std::atomic<bool> done{false};
        std::unique_ptr<QThread> peer(QThread::create([&] {
            for (const QByteArray& chunk : writes) {
                qint64 sent = 0;
                while (sent < chunk.size() && !done) {
                    const ssize_t n = ::send(pair[1], chunk.constData() + sent, size_t(chunk.size() - sent),
                                             MSG_NOSIGNAL | MSG_DONTWAIT);
                    if (n > 0) {
                        sent += n;
                    } else {
                        QThread::msleep(5);
                    }
                }
                QThread::msleep(10);
            }
            if (then == "close") {
                ::shutdown(pair[1], SHUT_WR);
            }
            while (then == "trickle" && !done) {
                ::send(pair[1], "1,", 2, MSG_NOSIGNAL);
                QThread::msleep(50);
            }
        }));
        peer->start();
        std::string read;
        QElapsedTimer time;
        time.start();
        const PrintInfoReader::Outcome got = PrintInfoReader::read(pair[0], 800, read);
        const qint64 elapsed = time.elapsed();
        done = true;
        peer->wait();
        ::close(pair[0]);
        ::close(pair[1]);

        QCOMPARE(PrintInfoReader::name(got), PrintInfoReader::name(outcome));
        QCOMPARE(QByteArray::fromStdString(read), text);
        // The limit holds for the whole read, not for each piece.
        QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));
    }

    // The scanner fed everything at once agrees with the socket reads.
    void completesAtTheOutermostBrace()
    {
        PrintInfoReader reader;
        QCOMPARE(reader.feed("{\"a\":{\"b\":1}", 12), PrintInfoReader::State::NeedMore);
        QCOMPARE(reader.feed("}\n", 2), PrintInfoReader::State::Complete);
        QCOMPARE(reader.feed("garbage", 7), PrintInfoReader::State::Complete);
        QCOMPARE(QByteArray::fromStdString(reader.text()), QByteArray("{\"a\":{\"b\":1}}"));
    }
};

QTEST_GUILESS_MAIN(TestPrintInfoReader)
#include "tst_printinforeader.moc"
