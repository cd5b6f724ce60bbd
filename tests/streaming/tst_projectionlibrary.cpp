#include "projection/p2pdsclientsession.h"
#include "support/testenvironment.h"
#include "support/xvfbserver.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <cstring>

// The projection library against the receiver on a loopback address of its
// own, as the client's projection manager drives it, capturing an X server of
// the test's own.
namespace {
class Callback : public IP2PDsClientSessionCb
{
public:
    void onProjectionSuccess() override { add("success"); }
    void onProjectionRejected(int32_t) override { add("rejected"); }
    void onBusying() override
    {
        add("busy");
        // The client cancels from inside this callback.
        if (session) {
            session->cancelProjection();
        }
    }
    void onProjectionStopped() override { add("stopped"); }
    void onNoStreamProjectionCommandResponse(int32_t) override { add("no response"); }

    QStringList take()
    {
        QMutexLocker locker(&mutex);
        return events;
    }
    void clear()
    {
        QMutexLocker locker(&mutex);
        events.clear();
    }

    P2PDsClientSessionProxy* session = nullptr;

private:
    void add(const QString& event)
    {
        QMutexLocker locker(&mutex);
        events << event;
    }
    // Written by the library thread, read by the test.
    QStringList events;
    QMutex mutex;
};
} // namespace

class TestProjectionLibrary : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_screen.start());
        m_screen.useForThisProcess();
    }
    void init()
    {
        m_callback.clear();
        const quint32 octets = QRandomGenerator::global()->bounded(1u << 16, 1u << 24);
        m_address = QString("127.%1.%2.%3").arg(octets >> 16).arg((octets >> 8) & 0xff).arg(octets & 0xff);
    }
    void cleanup()
    {
        if (m_receiver.processId() > 0) {
            ::kill(static_cast<pid_t>(m_receiver.processId()), SIGCONT);
        }
        m_screen.useForThisProcess();
        m_receiver.kill();
        m_receiver.waitForFinished();
    }

    void codeLooksUpTheReceiver()
    {
        startReceiver("accept");
        P2PDsClientSessionProxy session(&m_callback);
        char ip[20] = {};
        QCOMPARE(session.getIpFromVerfCode(m_code.toLatin1().constData(), ip), 0);
        QCOMPARE(QString(ip), m_address);
        std::memset(ip, 0, sizeof(ip));
        QCOMPARE(session.getIpFromVerfCode(m_code.toLower().toLatin1().constData(), ip), 0);
        QCOMPARE(QString(ip), m_address);
    }

    void unknownCodesEndInZeros_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::newRow("all zero") << QByteArray("00000");
        QTest::newRow("too large") << QByteArray("ZZZZZ");
        QTest::newRow("not in the alphabet") << QByteArray("AB#DE");
        QTest::newRow("four characters") << QByteArray("ABCD");
        QTest::newRow("empty") << QByteArray("");
    }
    void unknownCodesEndInZeros()
    {
        QFETCH(QByteArray, code);
        P2PDsClientSessionProxy session(&m_callback);
        char ip[20] = {};
        session.getIpFromVerfCode(code.constData(), ip);
        QCOMPARE(QString(ip), QString("127.0.0.0"));
    }

    void projectsUntilTheReceiverEndsIt()
    {
        startReceiver("accept");
        P2PDsClientSessionProxy session(&m_callback);
        QCOMPARE(session.startProjection(settingsFor(m_address)), 0);
        QTRY_COMPARE(events(), QStringList{"success"});
        m_receiver.write("stop\n");
        QTRY_COMPARE(events(), QStringList({"success", "stopped"}));
    }

    void stopEndsARunningProjection()
    {
        startReceiver("accept");
        P2PDsClientSessionProxy session(&m_callback);
        session.startProjection(settingsFor(m_address));
        QTRY_COMPARE(events(), QStringList{"success"});
        QCOMPARE(session.stopProjection(), 1);
        QTRY_VERIFY(m_receiverOutput.contains("projection stopped by sender"));
        QCOMPARE(session.stopProjection(), 0);
        QCOMPARE(events(), QStringList{"success"});
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("event");
        QTest::newRow("busy") << "busy"
                              << "busy";
        QTest::newRow("rejected") << "reject"
                                  << "rejected";
    }
    void refusals()
    {
        QFETCH(QString, mode);
        QFETCH(QString, event);
        startReceiver(mode);
        P2PDsClientSessionProxy session(&m_callback);
        m_callback.session = &session;
        session.startProjection(settingsFor(m_address));
        QTRY_COMPARE(events(), QStringList{event});
        m_callback.session = nullptr;
    }

    void noReceiver()
    {
        P2PDsClientSessionProxy session(&m_callback);
        session.startProjection(settingsFor(m_address)); // nobody listens there
        QTRY_COMPARE(events(), QStringList{"no response"});
    }

    // Kind 0: the code names the receiver on the configured network (127 here).
    void projectionByCodeConnectsDirectly()
    {
        startReceiver("accept");
        P2PDsClientSessionProxy session(&m_callback);
        P2PDsClientSettings byCode;
        byCode.kind = 0;
        byCode.entryCount = 1;
        std::strcpy(byCode.entries[0], m_code.toLower().toLatin1().constData());
        QCOMPARE(session.startProjection(byCode), 0);
        QTRY_COMPARE(events(), QStringList{"success"});
        QTRY_VERIFY(m_receiverOutput.contains("projection started"));

        std::strcpy(byCode.entries[0], "00000");
        QVERIFY(session.startProjection(byCode) != 0);
    }

    // Killed: the connection closes. Frozen (a cable pulled): only the silence
    // tells, and the keep-alive notices it within 3 s.
    void vanishedReceiverEndsTheProjection_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("killed") << int(SIGKILL);
        QTest::newRow("frozen") << int(SIGSTOP);
    }
    void vanishedReceiverEndsTheProjection()
    {
        QFETCH(int, signal);
        startReceiver("accept");
        P2PDsClientSessionProxy session(&m_callback);
        session.startProjection(settingsFor(m_address));
        QTRY_COMPARE(events(), QStringList{"success"});
        QTRY_VERIFY(m_receiverOutput.contains("first picture"));
        ::kill(static_cast<pid_t>(m_receiver.processId()), signal);
        QElapsedTimer elapsed;
        elapsed.start();
        QTRY_COMPARE_WITH_TIMEOUT(events(), QStringList({"success", "stopped"}), 10000);
        qInfo("noticed after %lld ms", elapsed.elapsed());
        QVERIFY2(elapsed.elapsed() < 3000, "the keep-alive limit is 3 s");
    }

    // Nothing to capture: the projection fails and no receiver is bothered.
    void noScreenFailsPlainly_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("sessionType");
        QTest::newRow("no display") << QByteArray() << QByteArray("tty");
        QTest::newRow("display that does not exist") << QByteArray(":999") << QByteArray("x11");
        QTest::newRow("Wayland session") << QByteArray(":0") << QByteArray("wayland");
    }
    void noScreenFailsPlainly()
    {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, sessionType);
        startReceiver("accept");
        qputenv("DISPLAY", display);
        qputenv("XDG_SESSION_TYPE", sessionType);
        P2PDsClientSessionProxy session(&m_callback);
        session.startProjection(settingsFor(m_address));
        QTRY_COMPARE(events(), QStringList{"no response"});
        QVERIFY(!m_receiverOutput.contains("projection started"));
    }

private:
    void startReceiver(const QString& mode)
    {
        m_receiverOutput.clear();
        connect(
            &m_receiver, &QProcess::readyReadStandardOutput, this,
            [this] { m_receiverOutput += QString::fromUtf8(m_receiver.readAllStandardOutput()); },
            Qt::UniqueConnection);
        m_receiver.start(TestEnvironment::binary("vantelor-receiver"),
                         {"--address", m_address, "--mode", mode});
        QTRY_VERIFY(m_receiverOutput.contains("listening on"));
        m_code = m_receiverOutput.section("code: ", 1).section('\n', 0, 0).trimmed();
        QCOMPARE(m_code.size(), 5);
    }
    static P2PDsClientSettings settingsFor(const QString& address)
    {
        P2PDsClientSettings settings;
        settings.kind = 1;
        settings.entryCount = 1;
        std::strncpy(settings.entries[0], address.toLatin1().constData(), 19);
        return settings;
    }
    QStringList events() { return m_callback.take(); }

    XvfbServer m_screen;
    Callback m_callback;
    QProcess m_receiver;
    QString m_receiverOutput;
    QString m_address;
    QString m_code;
};

QTEST_GUILESS_MAIN(TestProjectionLibrary)
#include "tst_projectionlibrary.moc"
