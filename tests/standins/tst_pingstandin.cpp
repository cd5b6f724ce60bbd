#include "support/testenvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

// The loopback-only ping as the client runs it: Linux ping syntax, exit code
// as the only answer that counts.
class TestPingStandin : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private:
    struct Run
    {
        int exitCode = -1;
        qint64 elapsedMs = 0;
        QByteArray out;
        QByteArray err;
        QStringList socketCalls;
    };

    QString m_script;
    QString m_probe;

    Run ping(const QStringList& args, const QString& wrapper = QString())
    {
        QFile::remove(m_probe);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", QStringLiteral(SOCKET_PROBE_PRELOAD));
        env.insert("VANTELOR_SOCKET_PROBE", m_probe);
        env.insert("VANTELOR_PING_SCRIPT", m_script);
        p.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        if (wrapper.isEmpty()) {
            p.start(TestEnvironment::binary("vantelor-ping"), args);
        } else {
            p.start(wrapper, QStringList{"-n", TestEnvironment::binary("vantelor-ping")} + args);
        }
        Run run;
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
            return run;
        }
        run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.elapsedMs = timer.elapsed();
        run.out = p.readAllStandardOutput();
        run.err = p.readAllStandardError();
        QFile probe(m_probe);
        if (probe.open(QIODevice::ReadOnly)) {
            run.socketCalls = QString::fromLatin1(probe.readAll()).split('\n', Qt::SkipEmptyParts);
        }
        return run;
    }

    void script(const QJsonObject& hosts)
    {
        QFile::remove(m_script + ".state");
        QFile::remove(m_script + ".log");
        QFile out(m_script);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(QJsonObject{{"hosts", hosts}}).toJson());
    }

private slots:
    void initTestCase()
    {
        m_script = TestEnvironment::root() + "/ping-script.json";
        m_probe = TestEnvironment::root() + "/socket-calls.txt";
    }

    void init() { script(QJsonObject()); }

    void loopbackAnswers_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("watcher: 3 requests, 3 s each") << QStringList{"-c", "3", "-W", "3", "127.0.0.1"};
        QTest::newRow("candidate: 1 request, 1.7 s") << QStringList{"-c", "1", "-W", "1.7", "127.0.0.1"};
        QTest::newRow("elsewhere in 127/8") << QStringList{"-c1", "-W1", "127.31.2.9"};
        QTest::newRow("localhost, quiet, numeric") << QStringList{"-n", "-q", "-c", "2", "localhost"};
        QTest::newRow("with a deadline") << QStringList{"-c", "2", "-w", "5", "127.0.0.1"};
    }

    void loopbackAnswers()
    {
        QFETCH(QStringList, args);
        const Run run = ping(args);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(" received, 0% packet loss"), run.out.constData());
        QVERIFY(run.elapsedMs < 3000);
        // A real datagram over loopback: the probe sees the socket.
        QVERIFY(run.socketCalls.contains("socket"));
    }

    void otherAddressesAreRefusedWithoutSending_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("private 10/8") << "10.0.0.1";
        QTest::newRow("private 192.168/16") << "192.168.1.1";
        QTest::newRow("public") << "8.8.8.8";
        QTest::newRow("host name") << "example.com";
        QTest::newRow("IPv6 loopback") << "::1";
        QTest::newRow("all zeros") << "0.0.0.0";
        QTest::newRow("next to loopback") << "128.0.0.1";
        QTest::newRow("short form") << "127.1";
    }

    void otherAddressesAreRefusedWithoutSending()
    {
        QFETCH(QString, host);
        const Run run = ping({"-c", "1", "-W", "1.7", host});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("refusing " + host.toUtf8()), run.err.constData());
        QVERIFY2(run.socketCalls.isEmpty(), qPrintable(run.socketCalls.join(',')));
        QVERIFY(run.elapsedMs < 2000);
    }

    void badArgumentsExitWith2()
    {
        QCOMPARE(ping({}).exitCode, 2);
        QCOMPARE(ping({"-c", "x", "127.0.0.1"}).exitCode, 2);
        QCOMPARE(ping({"-Z", "127.0.0.1"}).exitCode, 2);
        QCOMPARE(ping({"-c", "1", "127.0.0.1", "127.0.0.2"}).exitCode, 2);
    }

    void failsForAWhileThenAnswers()
    {
        script({{"127.0.0.1", QJsonObject{{"failFirst", 2}}}});
        QCOMPARE(ping({"-c", "1", "-W", "1", "127.0.0.1"}).exitCode, 1);
        QCOMPARE(ping({"-c", "1", "-W", "1", "127.0.0.1"}).exitCode, 1);
        QCOMPARE(ping({"-c", "1", "-W", "1", "127.0.0.1"}).exitCode, 0);
        // Other hosts are not affected; every run is in the log.
        QCOMPARE(ping({"-c", "1", "127.0.0.2"}).exitCode, 0);
        QFile log(m_script + ".log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 4);
        const QJsonObject first = QJsonDocument::fromJson(lines.first()).object();
        QCOMPARE(first.value("args").toArray().toVariantList().size(), 5);
        QCOMPARE(first.value("exitCode").toInt(), 1);
    }

    void scriptedSteps_data()
    {
        QTest::addColumn<QJsonObject>("rule");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        const QStringList oneShort = {"-c", "1", "-W", "0.5", "127.0.0.1"};
        QTest::newRow("slow reply within the wait")
            << QJsonObject{{"delayMs", 300}} << oneShort << 0 << 300 << 2000;
        QTest::newRow("reply later than the wait")
            << QJsonObject{{"delayMs", 3000}} << oneShort << 1 << 500 << 2000;
        QTest::newRow("no reply") << QJsonObject{{"result", "timeout"}} << oneShort << 1 << 500 << 2000;
        QTest::newRow("unreachable") << QJsonObject{{"result", "fail"}} << oneShort << 1 << 0 << 1000;
        QTest::newRow("deadline cuts the waits")
            << QJsonObject{{"result", "timeout"}} << QStringList{"-c", "3", "-W", "3", "-w", "1", "127.0.0.1"}
            << 1 << 1000 << 2500;
        QTest::newRow("sequence: first step")
            << QJsonObject{{"sequence",
                            QJsonArray{QJsonObject{{"result", "fail"}}, QJsonObject{{"result", "ok"}}}}}
            << oneShort << 1 << 0 << 1000;
    }

    void scriptedSteps()
    {
        QFETCH(QJsonObject, rule);
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        script({{"*", rule}});
        const Run run = ping(args);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.elapsedMs >= minMs && run.elapsedMs <= maxMs,
                 qPrintable(QString::number(run.elapsedMs)));
    }

    void outlastsTheCallersWait()
    {
        script({{"127.0.0.1", QJsonObject{{"hangMs", 2500}}}});
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VANTELOR_PING_SCRIPT", m_script);
        p.setProcessEnvironment(env);
        p.start(TestEnvironment::binary("vantelor-ping"), {"-c", "1", "-W", "1.7", "127.0.0.1"});
        QVERIFY(p.waitForStarted());
        QVERIFY(!p.waitForFinished(500)); // the caller gives up, the ping goes on
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
    }

    void loopbackDownFailsLikeARealPing()
    {
        // A fresh network namespace has its loopback interface down.
        const QString unshare = QStandardPaths::findExecutable("unshare");
        if (unshare.isEmpty() || QProcess::execute(unshare, {"-n", "true"}) != 0) {
            QSKIP("no network namespaces here");
        }
        const Run run = ping({"-c", "1", "-W", "1", "127.0.0.1"}, unshare);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("connect:"), run.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestPingStandin)
#include "tst_pingstandin.moc"
