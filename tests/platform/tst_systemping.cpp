#include "platform/systemping.h"
#include "support/testenvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

// Running the ping program: its exit code, its silence, and its end when it
// cannot start, crashes, runs too long or is cancelled.
class TestSystemPing : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private slots:
    void exitCodeIsThePrograms_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        const QString ping = TestEnvironment::binary("vantelor-ping");
        QTest::newRow("loopback answers") << ping << CSystemPing::arguments(1, 1000, "127.0.0.1") << 0;
        // The stand-in refuses every address off loopback with 2.
        QTest::newRow("refused") << ping << CSystemPing::arguments(1, 1000, "192.0.2.1") << 2;
        QTest::newRow("missing program") << m_dir.filePath("no-such-ping") << QStringList() << -1;
        QTest::newRow("killed by a signal") << "sh" << QStringList{"-c", "kill -9 $$"} << -1;
        QTest::newRow("exit 7 through the path") << "sh" << QStringList{"-c", "exit 7"} << 7;
    }

    void exitCodeIsThePrograms()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QCOMPARE(CSystemPing::run(program, arguments, 10000), code);
    }

    // Its output goes nowhere, and it reads nothing of the client's input.
    void outputIsDiscarded()
    {
        const QString marker = m_dir.filePath("marker");
        QCOMPARE(CSystemPing::run(
                     "sh", {"-c", "echo out; echo err >&2; read line; test -z \"$line\" && touch " + marker},
                     10000),
                 0);
        QVERIFY(QFile::exists(marker));
    }

    void timeOutAndCancelEndIt_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("time-out") << false;
        QTest::newRow("cancelled") << true;
    }

    void timeOutAndCancelEndIt()
    {
        QFETCH(bool, cancel);
        const QString pidFile = m_dir.filePath(QString("pid-%1").arg(cancel));
        std::atomic<bool> stop{false};
        const auto cancelled = [&] {
            // Once the program has started: asked to end from then on.
            if (cancel && QFile::exists(pidFile)) {
                stop = true;
            }
            return stop.load();
        };
        QCOMPARE(CSystemPing::run("sh", {"-c", "echo $$ > " + pidFile + "; exec sleep 60"}, cancel ? -1 : 300,
                                  cancelled),
                 -1);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray pid = file.readAll().trimmed();
        QVERIFY(!pid.isEmpty());
        // Ended and reaped: no such process any more.
        QVERIFY2(!QFile::exists("/proc/" + pid), pid.constData());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSystemPing)
#include "tst_systemping.moc"
