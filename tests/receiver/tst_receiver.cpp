#include "streaming/controlline.h"
#include "streaming/framereader.h"
#include "support/testenvironment.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QtTest>

// The receiver against peers that speak the protocol badly, over real TCP on
// a loopback address of its own. Whatever a peer does, the receiver logs it,
// goes back to idle and serves the next sender.
class TestReceiver : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private slots:
    void init()
    {
        const quint32 octets = QRandomGenerator::global()->bounded(1u << 16, 1u << 24);
        m_address = QString("127.%1.%2.%3").arg(octets >> 16).arg((octets >> 8) & 0xff).arg(octets & 0xff);
        m_output.clear();
        connect(
            &m_receiver, &QProcess::readyReadStandardOutput, this,
            [this] { m_output += QString::fromUtf8(m_receiver.readAllStandardOutput()); },
            Qt::UniqueConnection);
        m_receiver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_receiver.start(TestEnvironment::binary("vantelor-receiver"),
                         {"--address", m_address, "--windowed", "320x180"});
        QTRY_VERIFY(m_output.contains("listening on"));
        m_port = m_output.section(m_address + ":", 1).section('\n', 0, 0).toUShort();
        QVERIFY(m_port > 0);
    }
    void cleanup()
    {
        // Still serving after whatever the test did.
        QCOMPARE(m_receiver.state(), QProcess::Running);
        m_receiver.kill();
        m_receiver.waitForFinished();
    }

    void badRequestsAreDropped_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("a word") << QByteArray("hello\n");
        QTest::newRow("an answer instead of a request") << QByteArray("ACCEPT\n");
        QTest::newRow("a line without end") << QByteArray(200, 'A');
        QTest::newRow("binary") << QByteArray("\x00\xff\x13\x37VF\x01\x00\n", 10);
        QTest::newRow("frames before the request")
            << QByteArray::fromStdString(StreamFrame::empty(StreamFrame::Ping)) + "\n";
    }
    void badRequestsAreDropped()
    {
        QFETCH(QByteArray, bytes);
        QTcpSocket peer;
        connectTo(peer);
        peer.write(bytes);
        QVERIFY(peer.waitForDisconnected(8000));
        QTRY_VERIFY(m_output.contains("bad input"));
        QVERIFY(!m_output.contains("projection started"));
        expectAccepted();
    }

    void badStreamsEndTheProjection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("logged");
        auto header = [](int type, int flags, quint32 length) {
            return QByteArray::fromStdString(StreamFrame::header(static_cast<StreamFrame::Type>(type),
                                                                 static_cast<uint8_t>(flags), length));
        };
        QTest::newRow("text after ACCEPT") << QByteArray("STOP\n") << "bad stream";
        QTest::newRow("unknown frame type") << header(7, 0, 0) << "bad stream";
        QTest::newRow("frame larger than any picture")
            << header(StreamFrame::Video, 1, 0x7fffffff) << "bad stream";
        QTest::newRow("cut mid-frame")
            << header(StreamFrame::Video, 1, 1000) + QByteArray(300, 'x') << "mid-frame";
    }
    void badStreamsEndTheProjection()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, logged);
        QTcpSocket peer;
        startProjection(peer);
        peer.write(bytes);
        peer.flush();
        if (logged == "mid-frame") {
            peer.disconnectFromHost();
        }
        QTRY_VERIFY(m_output.contains("projection lost"));
        QVERIFY(m_output.contains(logged));
        expectAccepted();
    }

    // Video frames whose content is not H.264: the decoder copes or gives
    // up; either way the receiver stays and the sender can still stop.
    void corruptedPicturesDoNotCrash()
    {
        QTcpSocket peer;
        startProjection(peer);
        QByteArray junk(20000, '\0');
        for (int i = 0; i < 40; ++i) {
            for (char& c : junk) {
                c = static_cast<char>(QRandomGenerator::global()->generate());
            }
            // Start codes in front, so the parser takes it for NAL units.
            junk.replace(0, 5, QByteArray("\x00\x00\x00\x01\x65", 5));
            peer.write(QByteArray::fromStdString(StreamFrame::header(
                           StreamFrame::Video, StreamFrame::KeyFrame, static_cast<uint32_t>(junk.size()))) +
                       junk);
        }
        peer.write(QByteArray::fromStdString(StreamFrame::empty(StreamFrame::Stop)));
        peer.flush();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_output.contains("projection stopped by sender") || m_output.contains("projection lost"), 10000);
        expectAccepted();
    }

    void oneProjectionAtATime()
    {
        QTcpSocket first;
        startProjection(first);
        QTcpSocket second;
        connectTo(second);
        second.write(QByteArray::fromStdString(ControlLine::text(ControlLine::Project)));
        QCOMPARE(readLine(second), QByteArray("BUSY"));
        QVERIFY(m_output.contains("refused: busy"));
    }

    // A sender that falls silent is given up within the keep-alive limit; a
    // live one hears pings.
    void keepAlive()
    {
        QTcpSocket peer;
        startProjection(peer);
        FrameReader reader;
        StreamFrame frame;
        const bool pinged = QTest::qWaitFor(
            [&] {
                const QByteArray bytes = peer.readAll();
                reader.feed(bytes.constData(), bytes.size());
                return reader.next(frame) == FrameReader::Frame && frame.type == StreamFrame::Ping;
            },
            3000);
        QVERIFY(pinged);
        QTRY_VERIFY_WITH_TIMEOUT(m_output.contains("projection lost: the sender fell silent"), 5000);
        expectAccepted();
    }

private:
    void connectTo(QTcpSocket& socket)
    {
        socket.connectToHost(QHostAddress(m_address), m_port);
        QVERIFY(socket.waitForConnected(5000));
    }
    static QByteArray readLine(QTcpSocket& socket)
    {
        // A line that never comes reads as empty, which the caller's comparison reports.
        if (!QTest::qWaitFor(
                [&] { return socket.canReadLine() || socket.state() != QAbstractSocket::ConnectedState; },
                5000))
            return QByteArray();
        return socket.readLine().trimmed();
    }
    void startProjection(QTcpSocket& socket)
    {
        connectTo(socket);
        socket.write(QByteArray::fromStdString(ControlLine::text(ControlLine::Project)));
        QCOMPARE(readLine(socket), QByteArray("ACCEPT"));
        QTRY_VERIFY(m_output.contains("projection started"));
    }
    // The next sender is served as if nothing had happened.
    void expectAccepted()
    {
        m_output.clear();
        QTcpSocket next;
        startProjection(next);
        next.write(QByteArray::fromStdString(StreamFrame::empty(StreamFrame::Stop)));
        QTRY_VERIFY(m_output.contains("projection stopped by sender"));
    }

    QProcess m_receiver;
    QString m_output;
    QString m_address;
    quint16 m_port = 0;
};

QTEST_GUILESS_MAIN(TestReceiver)
#include "tst_receiver.moc"
