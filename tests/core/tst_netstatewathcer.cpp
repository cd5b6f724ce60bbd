#include "core/netstatewathcer.h"
#include "core/startup.h"
#include "platform/systemping.h"
#include "support/testenvironment.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

// The watcher with the loopback-only ping, scripted per case; the system's
// online notice goes through the thread's seam.
class TestNetStateWathcer : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        TestEnvironment::isolate();
        setApplicationIdentity();
    }

private slots:
    void initTestCase()
    {
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        CSystemPing::setHost("127.0.0.1");
        qputenv("VANTELOR_PING_SCRIPT", QFile::encodeName(TestEnvironment::root() + "/ping.json"));
    }
    void init()
    {
        CPingThread::setOnlineCheck([] { return true; });
    }
    void cleanup() { CNetStateWathcer::instance(true); }

    void firstCycleAlwaysReports_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("reported");
        QTest::newRow("reachable") << true << "ok" << true;
        QTest::newRow("ping fails") << true << "fail" << false;
        QTest::newRow("system offline") << false << "ok" << false;
    }
    void firstCycleAlwaysReports()
    {
        QFETCH(bool, online);
        QFETCH(QString, result);
        QFETCH(bool, reported);
        script({step(result)});
        CPingThread::setOnlineCheck([online] { return online; });
        QSignalSpy changes(watcher(), &CNetStateWathcer::netStateChange);
        watcher()->startMonitor();
        QTRY_COMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toBool(), reported);
    }

    void offlineAtOnceAndBackWithinACycle()
    {
        script({step("ok"), step("fail"), step("ok")});
        QSignalSpy changes(watcher(), &CNetStateWathcer::netStateChange);
        watcher()->startMonitor();
        QTRY_COMPARE(changes.count(), 1);
        QVERIFY(watcher()->isNetOK());

        // The cable is pulled: reported before the next ping.
        auto* thread = watcher()->findChild<CPingThread*>();
        QVERIFY(thread);
        QMetaObject::invokeMethod(thread, "onOnlineStateChanged", Q_ARG(bool, false));
        QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 2, 1000);
        QCOMPARE(changes.at(1).at(0).toBool(), false);

        // The next pings fail once, then answer: back within a cycle.
        QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 3, 2 * CPingThread::kCycleWaitMs + 2000);
        QCOMPARE(changes.at(2).at(0).toBool(), true);
    }

    void stopWhileSleepingReturnsAtOnce()
    {
        script({step("ok")});
        QSignalSpy changes(watcher(), &CNetStateWathcer::netStateChange);
        watcher()->startMonitor();
        QTRY_COMPARE(changes.count(), 1);
        QTest::qWait(200); // the worker now waits for its next cycle
        QElapsedTimer timer;
        timer.start();
        QVERIFY(watcher()->stopMonitor());
        QVERIFY2(timer.elapsed() < 450, "a sleeping worker is woken, not waited for");
        QVERIFY(!watcher()->stopMonitor());
    }

    void stopWhilePingingStillEndsTheThread()
    {
        script({step("ok"), step("ok", 2500)});
        CPingThread::setOnlineCheck([] { return true; });
        QSignalSpy changes(watcher(), &CNetStateWathcer::netStateChange);
        watcher()->startMonitor();
        QTRY_COMPARE(changes.count(), 1);
        auto* thread = watcher()->findChild<CPingThread*>();
        // Wake the worker into its second, hanging ping.
        QTRY_VERIFY_WITH_TIMEOUT((CPingThread::waitCondition().wakeAll(), pingRuns() == 2), 3000);
        QTest::qWait(100);
        QElapsedTimer timer;
        timer.start();
        watcher()->stopMonitor();
        QVERIFY(timer.elapsed() >= 450);
        QVERIFY(thread->isRunning());
        CNetStateWathcer::instance(true); // must wait for the ping to end
    }

private:
    static int pingRuns()
    {
        QFile state(TestEnvironment::root() + "/ping.json.state");
        return state.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(state.readAll())["127.0.0.1"].toInt()
                                               : 0;
    }
    static CNetStateWathcer* watcher() { return CNetStateWathcer::instance().get(); }
    static QVariant step(const QString& result, int hangMs = 0)
    {
        QVariantMap step{{"result", result}};
        if (hangMs > 0) {
            step["hangMs"] = hangMs;
        }
        return step;
    }
    static void script(const QVariantList& sequence)
    {
        const QVariantMap document{
            {"hosts", QVariantMap{{"127.0.0.1", QVariantMap{{"sequence", sequence}}}}}};
        const QString path = TestEnvironment::root() + "/ping.json";
        QFile::remove(path + ".state");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument::fromVariant(document).toJson());
    }
};

QTEST_MAIN(TestNetStateWathcer)
#include "tst_netstatewathcer.moc"
