#include "account/loginmanager.h"
#include "printdriver/cupsbackend.h"
#include "printfixture.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

#include <unistd.h>

// The backend run as CUPS runs it, a PDF on its standard input, against the
// client's print bridge in this process signed in to the local service.
class TestCupsBackend : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;
    QString m_backend;
    QByteArray m_pdf;
    int m_nextJob = 1;

    QString nextJob() { return QString::number(m_nextJob++); }
    static QString me()
    {
        return QString::fromLocal8Bit(qgetenv("USER").isEmpty() ? "root" : qgetenv("USER"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(AccountFixture::start(m_service));
        m_backend = PrintFixture::installBackend(TestEnvironment::root() + "/backend", *m_service);
        QVERIFY(!m_backend.isEmpty());
        const QString pdf = TestEnvironment::root() + "/ten-pages.pdf";
        QVERIFY(PrintFixture::writePdf(pdf, 10));
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        m_pdf = file.readAll();
    }
    void init() { QVERIFY(AccountFixture::reset(*m_service)); }
    void cleanup() { CLoginManager::instance(true); }

    void withoutArgumentsListsTheDevice()
    {
        QProcess process;
        process.start(m_backend, QStringList());
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        const QString line = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(line.startsWith("network vantelor://cloud \"Vantelor Cloud Print\" \"Vantelor 云打印\""),
                 qPrintable(line));
    }

    void wrongArgumentsFail()
    {
        QProcess process;
        process.start(m_backend, {"1", "root"});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), int(CupsBackend::Failed));
        QVERIFY(
            process.readAllStandardError().startsWith("Usage: vantelor job-id user title copies options"));
    }

    void jobArrivesForTheSignedInAccount()
    {
        QVERIFY(AccountFixture::signInWithPrintBridge());
        const QString job = nextJob();
        const PrintFixture::Run run = PrintFixture::runJob(m_backend, job, me(), m_pdf);
        QVERIFY2(run.exitCode == CupsBackend::Ok, qPrintable(run.status));
        QVERIFY(run.lines("INFO").contains("已发送到Vantelor云打印"));
        QVERIFY(run.lines("STATE").contains("+connecting-to-device"));
        QVERIFY(run.lines("ERROR").isEmpty());

        QJsonArray jobs = PrintFixture::storedJobs(*m_service);
        QCOMPARE(jobs.size(), 1);
        const QJsonObject stored = jobs.at(0).toObject();
        QCOMPARE(stored.value("accountId").toVariant().toLongLong(), 10001);
        QCOMPARE(stored.value("title").toString(), QString("report.pdf"));
        QCOMPARE(stored.value("pages").toInt(), 10);
        QCOMPARE(stored.value("bytes").toInt(), m_pdf.size());
        QCOMPARE(stored.value("user").toString(), me());
        QFile file(m_service->dataDirectory() + "/printjobs/" + stored.value("jobId").toString() + ".pdf");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), m_pdf);

        // CUPS runs the job again (say the answer was lost): stored once.
        const PrintFixture::Run again = PrintFixture::runJob(m_backend, job, me(), m_pdf);
        QCOMPARE(again.exitCode, int(CupsBackend::Ok));
        QCOMPARE(PrintFixture::storedJobs(*m_service).size(), 1);
        // Another job is another job.
        QCOMPARE(PrintFixture::runJob(m_backend, nextJob(), me(), m_pdf).exitCode, int(CupsBackend::Ok));
        QCOMPARE(PrintFixture::storedJobs(*m_service).size(), 2);

        // Measured, not asserted: a whole backend run for the 10-page PDF, and
        // a run that only starts and lists the device (the program's own start-up).
        QElapsedTimer time;
        qint64 jobMs = 0, startUp = 0;
        const int runs = 5;
        for (int i = 0; i < runs; ++i) {
            time.start();
            PrintFixture::runJob(m_backend, nextJob(), me(), m_pdf);
            jobMs += time.elapsed();
            time.start();
            QProcess listing;
            listing.start(m_backend, QStringList());
            listing.waitForFinished(10000);
            startUp += time.elapsed();
        }
        qDebug("backend run for a 10-page PDF (%d bytes): %lld ms on average; start-up alone: %lld ms",
               int(m_pdf.size()), jobMs / runs, startUp / runs);
    }

    void failuresEndInTheirState_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        const int retry = CupsBackend::Retry;
        QTest::newRow("client not running") << "no client" << retry << "INFO" << CupsBackend::notSignedIn();
        QTest::newRow("signed out") << "signed out" << retry << "INFO" << CupsBackend::notSignedIn();
        QTest::newRow("print information unavailable")
            << "no print information" << retry << "INFO" << CupsBackend::noPrintInfo();
        QTest::newRow("service down")
            << "service down" << retry << "INFO" << CupsBackend::serviceUnavailable();
        QTest::newRow("service slow")
            << "service slow" << retry << "INFO" << CupsBackend::serviceUnavailable();
        QTest::newRow("service refusing")
            << "service refusing" << int(CupsBackend::Failed) << "ERROR" << QString("本月打印额度已用完");
        QTest::newRow("no print token") << "no token" << int(CupsBackend::Failed) << "ERROR"
                                        << QString("打印凭证无效，请重新登录Vantelor客户端后再打印");
    }

    void failuresEndInTheirState()
    {
        QFETCH(QString, situation);
        QFETCH(int, exitCode);
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        if (situation != "no client") {
            QVERIFY(AccountFixture::signInWithPrintBridge());
        }
        if (situation == "signed out") {
            CLoginManager::instance()->logout();
        } else if (situation == "no print information") {
            QVERIFY(m_service->setFault({{"endpoint", "printInfo"}, {"mode", "fail"}}));
        } else if (situation == "service down") {
            QVERIFY(m_service->setFault({{"endpoint", "printUpload"}, {"mode", "down"}}));
        } else if (situation == "service slow") {
            QVERIFY(m_service->setFault({{"endpoint", "printUpload"}, {"mode", "delay"}, {"delayMs", 3000}}));
        } else if (situation == "service refusing") {
            QVERIFY(m_service->setFault({{"endpoint", "printUpload"},
                                         {"mode", "fail"},
                                         {"errorCode", "1610"},
                                         {"errorMsg", reason}}));
        } else if (situation == "no token") {
            QVERIFY(m_service->setFault(
                {{"endpoint", "printInfo"},
                 {"mode", "raw"},
                 {"body", "{\"success\":true,\"content\":{\"data\":{\"accountId\":10001}}}"}}));
        }
        const QString job = nextJob();
        const PrintFixture::Run run = PrintFixture::runJob(m_backend, job, me(), m_pdf);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.status));
        QVERIFY2(run.lines(kind).contains(reason), qPrintable(run.status));
        QVERIFY2(!run.lines("INFO").contains("已发送到Vantelor云打印"), qPrintable(run.status));
        if (situation == "service slow") {
            // The slow service stores the job after all; the retry that follows
            // is answered with that job, not a second one.
            QTRY_COMPARE_WITH_TIMEOUT(PrintFixture::storedJobs(*m_service).size(), 1, 10000);
            QVERIFY(m_service->clearFaults());
            const PrintFixture::Run retried = PrintFixture::runJob(m_backend, job, me(), m_pdf);
            QVERIFY2(retried.exitCode == CupsBackend::Ok, qPrintable(retried.status));
            QCOMPARE(PrintFixture::storedJobs(*m_service).size(), 1);
        } else {
            QCOMPARE(PrintFixture::storedJobs(*m_service).size(), 0);
        }
    }

    // Port 6668 is one port for every user of the machine: a job goes out
    // only with the print information of its own user's client.
    void anotherUsersListenerIsRefused_data()
    {
        QTest::addColumn<QString>("listener");
        QTest::addColumn<QString>("jobUser");
        QTest::newRow("nobody's program on the port, root's job") << "nobody" << me();
        QTest::newRow("root's client on the port, nobody's job") << "client"
                                                                 << "nobody";
    }

    void anotherUsersListenerIsRefused()
    {
        QFETCH(QString, listener);
        QFETCH(QString, jobUser);
        if (::geteuid() != 0) {
            QSKIP("starting a listener as another user needs root");
        }
        QProcess other;
        if (listener == "nobody") {
            // Answers like a client, with the print information of the demo account.
            const QByteArray info = PrintFixture::printInfoOf(*m_service);
            QVERIFY(!info.isEmpty());
            other.start("setpriv",
                        {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "/usr/bin/python3", "-c",
                         "import socket,sys\n"
                         "s=socket.socket()\ns.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1)\n"
                         "s.bind(('127.0.0.1',6668))\ns.listen(4)\nprint('listening',flush=True)\n"
                         "while True:\n c,_=s.accept()\n c.sendall(sys.argv[1].encode())\n",
                         QString::fromUtf8(info)});
            QVERIFY(other.waitForStarted(5000));
            QVERIFY2(other.waitForReadyRead(5000), other.readAllStandardError().constData());
        } else {
            QVERIFY(AccountFixture::signInWithPrintBridge());
        }
        const PrintFixture::Run run = PrintFixture::runJob(m_backend, nextJob(), jobUser, m_pdf);
        other.kill();
        other.waitForFinished(5000);
        QVERIFY2(run.exitCode == CupsBackend::Failed, qPrintable(run.status));
        QVERIFY2(run.lines("ERROR").contains(CupsBackend::otherUser(jobUser)), qPrintable(run.status));
        QCOMPARE(PrintFixture::storedJobs(*m_service).size(), 0);
    }
};

QTEST_MAIN(TestCupsBackend)
#include "tst_cupsbackend.moc"
