#include "core/netstatewathcer.h"
#include "platform/systemping.h"
#include "support/testenvironment.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

// The watcher with the loopback-only ping, scripted per case; the system's
// online notice goes through the thread's seam.
class TestNetStateWathcer : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

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
        // The worker is inside the hanging ping by now.
        QTest::qWait(100);
        QElapsedTimer timer;
        timer.start();
        watcher()->stopMonitor();
        QVERIFY(timer.elapsed() >= 450);
        QVERIFY(thread->isRunning());
        CNetStateWathcer::instance(true); // must wait for the ping to end
    }

    // Stopped while a ping runs and started again: the watcher goes on
    // watching (the old run is ended first) and reports its first cycle.
    void restartWhilePingingKeepsWatching()
    {
        script({step("ok"), step("ok", 2500), step("fail")});
        QSignalSpy changes(watcher(), &CNetStateWathcer::netStateChange);
        watcher()->startMonitor();
        QTRY_COMPARE(changes.count(), 1);
        auto* thread = watcher()->findChild<CPingThread*>();
        QTRY_VERIFY_WITH_TIMEOUT((CPingThread::waitCondition().wakeAll(), pingRuns() == 2), 3000);
        // The worker is inside the hanging ping by now.
        QTest::qWait(100);
        watcher()->stopMonitor();
        QVERIFY(thread->isRunning());

        QVERIFY(watcher()->startMonitor());
        QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 2, 2 * CPingThread::kCycleWaitMs);
        QCOMPARE(changes.at(1).at(0).toBool(), false);
        QCOMPARE(pingRuns(), 3);
        QVERIFY(thread->isRunning());
    }

    // The quit does not wait for a hanging ping: the ping is ended.
    void quitEndsARunningPing()
    {
        script({step("ok"), step("ok", 30000)});
        QSignalSpy changes(watcher(), &CNetStateWathcer::netStateChange);
        watcher()->startMonitor();
        QTRY_COMPARE(changes.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT((CPingThread::waitCondition().wakeAll(), pingRuns() == 2), 3000);
        // The worker is inside the hanging ping by now.
        QTest::qWait(100);
        QElapsedTimer timer;
        timer.start();
        CNetStateWathcer::instance(true);
        QVERIFY2(timer.elapsed() < 15000, "the hanging ping was waited for");
    }

    // What the ping prints never reaches the client's standard output.
    void pingOutputStaysOffStandardOutput()
    {
        script({step("ok")});
        const QString path = TestEnvironment::root() + "/stdout.txt";
        {
            // The test's own messages go to standard output too: silenced here.
            const QtMessageHandler previous =
                qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
            const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
            StandardOutputTo redirect(path);
            QSignalSpy changes(watcher(), &CNetStateWathcer::netStateChange);
            watcher()->startMonitor();
            QTRY_COMPARE(changes.count(), 1);
            QVERIFY(changes.at(0).at(0).toBool());
            CNetStateWathcer::instance(true);
        }
        QFile output(path);
        QVERIFY(output.open(QIODevice::ReadOnly));
        const QByteArray text = output.readAll();
        QVERIFY2(text.isEmpty(), text.constData());
    }

private:
    // Sends this process's standard output to a file while it lives.
    struct StandardOutputTo
    {
        explicit StandardOutputTo(const QString& path)
        {
            std::fflush(stdout);
            saved = ::dup(STDOUT_FILENO);
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, STDOUT_FILENO);
            ::close(fd);
        }
        ~StandardOutputTo()
        {
            std::fflush(stdout);
            ::dup2(saved, STDOUT_FILENO);
            ::close(saved);
        }
        int saved = -1;
    };

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

QTEST_GUILESS_MAIN(TestNetStateWathcer)
#include "tst_netstatewathcer.moc"
