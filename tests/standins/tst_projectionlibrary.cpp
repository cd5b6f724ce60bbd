#include "projection/p2pdsclientsession.h"
#include "support/testenvironment.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <atomic>
#include <cstring>

// The projection library against the stand-in receiver on a loopback address
// of its own, as the client's projection manager drives it.
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
    void init()
    {
        m_callback.clear();
        const quint32 octets = QRandomGenerator::global()->bounded(1u << 16, 1u << 24);
        m_address = QString("127.%1.%2.%3").arg(octets >> 16).arg((octets >> 8) & 0xff).arg(octets & 0xff);
    }
    void cleanup()
    {
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

    void noReceiverAndProjectionByCode()
    {
        P2PDsClientSessionProxy session(&m_callback);
        session.startProjection(settingsFor(m_address)); // nobody listens there
        QTRY_COMPARE(events(), QStringList{"no response"});
        P2PDsClientSettings byCode;
        byCode.kind = 0;
        byCode.entryCount = 1;
        std::strcpy(byCode.entries[0], "ABCDE");
        QVERIFY(session.startProjection(byCode) != 0);
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

    Callback m_callback;
    QProcess m_receiver;
    QString m_receiverOutput;
    QString m_address;
    QString m_code;
};

QTEST_MAIN(TestProjectionLibrary)
#include "tst_projectionlibrary.moc"
