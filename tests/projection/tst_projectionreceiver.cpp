#include "conference/sharemanager.h"
#include "conference/standin.h"
#include "platform/systemping.h"
#include "projection/projectionmanager.h"
#include "projection/sharewrapper.h"
#include "support/testenvironment.h"
#include "support/xvfbserver.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

// A 5-character code from the stand-in receiver, typed into the router, with
// the real projection library, the real state timer and the loopback-only ping.
class TestProjectionReceiver : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        // The projection library captures this screen.
        QVERIFY(m_screen.start());
        m_screen.useForThisProcess();
    }
    void init()
    {
        const quint32 octets = QRandomGenerator::global()->bounded(1u << 16, 1u << 24);
        m_address = QString("127.%1.%2.%3").arg(octets >> 16).arg((octets >> 8) & 0xff).arg(octets & 0xff);
        CProjectionManager::instance()->startStateTimer();
    }
    void cleanup()
    {
        CShareWrapper::instance(true);
        m_receiver.kill();
        m_receiver.waitForFinished();
    }

    void codeProjectsUntilTheReceiverEndsIt()
    {
        const QString code = startReceiver("accept");
        QSignalSpy started(&wrapper(), &CShareWrapper::shareStarted);
        QSignalSpy stopped(&wrapper(), &CShareWrapper::shareStoped);
        QVERIFY(wrapper().start({code}));
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 8000);
        QVERIFY(wrapper().isSharing());
        QVERIFY(m_output.contains("projection started"));

        m_receiver.write("stop\n");
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 3000);
        QVERIFY(!wrapper().isSharing());
    }

    // The manager looks at the library's state on a timer: a projection that
    // the receiver ends before the next look is still told, started and stopped,
    // and not tried again.
    void receiverEndsTheProjectionAtOnce()
    {
        const QString code = startReceiver("accept");
        QSignalSpy started(&wrapper(), &CShareWrapper::shareStarted);
        QSignalSpy stopped(&wrapper(), &CShareWrapper::shareStoped);
        QVERIFY(wrapper().start({code}));
        QTRY_VERIFY_WITH_TIMEOUT(m_output.contains("projection started"), 8000);
        m_receiver.write("stop\n");
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 5000);
        QCOMPARE(started.count(), 1);
        QVERIFY(!wrapper().isSharing());
        QCOMPARE(m_output.count("projection started"), 1);
    }

    void userStopsTheProjection()
    {
        const QString code = startReceiver("accept");
        QSignalSpy started(&wrapper(), &CShareWrapper::shareStarted);
        QSignalSpy stopped(&wrapper(), &CShareWrapper::shareStoped);
        wrapper().start({code});
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 8000);
        QVERIFY(wrapper().stop());
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 3000);
        QTRY_VERIFY(m_output.contains("projection stopped by sender"));
    }

    // One code of each length: the receiver and a share through the stand-in
    // conference process, announced once when both run.
    void dualScreenRunsBothHalves()
    {
        Standin::reset();
        const QString code = startReceiver("accept");
        QSignalSpy started(&wrapper(), &CShareWrapper::shareStarted);
        QSignalSpy stopped(&wrapper(), &CShareWrapper::shareStoped);
        QVERIFY(wrapper().start({"AB12", code}));
        QTRY_COMPARE_WITH_TIMEOUT(wrapper().state(), CShareWrapper::RunningBoth, 8000);
        QCOMPARE(started.count(), 1);
        QVERIFY(CShareManager::instance()->isSharing());
        QVERIFY(CProjectionManager::instance()->isProjecting());

        // The receiver ends its half: the wrapper ends the share too.
        m_receiver.write("stop\n");
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 5000);
        QVERIFY(!CShareManager::instance()->isSharing());
        QCOMPARE(started.count(), 1);
    }

    void refusalsEndInTheTimeout_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("busy") << "busy";
        QTest::newRow("rejected") << "reject";
    }
    void refusalsEndInTheTimeout()
    {
        QFETCH(QString, mode);
        const QString code = startReceiver(mode);
        QSignalSpy errors(&wrapper(), &CShareWrapper::shareError);
        QSignalSpy started(&wrapper(), &CShareWrapper::shareStarted);
        wrapper().start({code});
        QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 10000);
        QCOMPARE(errors.at(0), QVariantList({"5001", "投屏码错误或VPN问题"}));
        QCOMPARE(started.count(), 0);
        QVERIFY(m_output.contains("refused"));
    }

private:
    static CShareWrapper& wrapper() { return *CShareWrapper::instance(); }
    QString startReceiver(const QString& mode)
    {
        m_output.clear();
        connect(
            &m_receiver, &QProcess::readyReadStandardOutput, this,
            [this] { m_output += QString::fromUtf8(m_receiver.readAllStandardOutput()); },
            Qt::UniqueConnection);
        m_receiver.start(TestEnvironment::binary("vantelor-receiver"),
                         {"--address", m_address, "--mode", mode});
        if (!QTest::qWaitFor([this] { return m_output.contains("listening on"); }, 5000)) {
            return QString();
        }
        return m_output.section("code: ", 1).section('\n', 0, 0).trimmed();
    }

    XvfbServer m_screen;
    QProcess m_receiver;
    QString m_output;
    QString m_address;
};

QTEST_GUILESS_MAIN(TestProjectionReceiver)
#include "tst_projectionreceiver.moc"
