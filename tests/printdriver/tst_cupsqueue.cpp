#include "account/loginmanager.h"
#include "printfixture.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

// The print queue in a real CUPS scheduler of the test's own (its own
// configuration, spool and socket; never the system's): a PDF printed with
// lp reaches the local service through the queue's filters and our backend.
class TestCupsQueue : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;
    QProcess m_cupsd;
    QString m_dir;
    QString m_pdf;

    QString socketPath() const { return m_dir + "/cupsd.sock"; }

    // A CUPS client program against the test's scheduler; its output.
    QString cups(const QString& program, const QStringList& arguments, int* exitCode = nullptr,
                 const QMap<QString, QString>& extra = QMap<QString, QString>())
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("CUPS_SERVER", socketPath());
        environment.insert("LC_ALL", "C.UTF-8");
        for (auto it = extra.begin(); it != extra.end(); ++it) {
            environment.insert(it.key(), it.value());
        }
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        process.waitForFinished(30000);
        if (exitCode) {
            *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        }
        return QString::fromUtf8(process.readAll());
    }

    int installScript(const QStringList& arguments)
    {
        int code = -1;
        const QString out =
            cups(VANTELOR_SOURCE_DIR "/scripts/install-printer.sh", arguments, &code,
                 {{"CUPS_BACKEND_DIR", m_dir + "/bin/backend"}, {"VANTELOR_PPD", VANTELOR_PPD_FILE}});
        qDebug().noquote() << out.trimmed();
        return code;
    }

    // "Vantelor-<n>" from lp's answer.
    QString print(const QString& title)
    {
        const QString out = cups("lp", {"-d", "Vantelor", "-t", title, m_pdf});
        const QRegularExpressionMatch match = QRegularExpression("request id is (Vantelor-\\d+)").match(out);
        if (!match.hasMatch()) {
            qWarning().noquote() << "lp:" << out;
        }
        return match.captured(1);
    }

    bool completed(const QString& job)
    {
        return cups("lpstat", {"-W", "completed", "-o", "Vantelor"}).contains(job);
    }

    static void write(const QString& path, const QString& text)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0) {
            QSKIP("a CUPS scheduler of the test's own runs as root");
        }
        for (const char* program : {"/usr/sbin/cupsd", "/usr/bin/lp", "/usr/bin/lpstat", "/usr/sbin/lpadmin",
                                    "/usr/lib/cups/filter/pdftopdf"}) {
            if (!QFile::exists(program)) {
                QSKIP(qPrintable(
                    QString("%1 is missing (Debian packages cups, cups-client, cups-filters)").arg(program)));
            }
        }
        QVERIFY(AccountFixture::start(m_service));
        // CUPS runs filters and the backend as its user "lp", which must reach them and the spool.
        QFile::setPermissions(TestEnvironment::root(), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ExeOwner | QFile::ExeGroup |
                                                           QFile::ExeOther);
        m_dir = TestEnvironment::root() + "/cups";
        for (const char* sub : {"conf", "cache", "spool", "state", "log", "bin/backend"}) {
            QVERIFY(QDir().mkpath(m_dir + "/" + sub));
        }
        // ServerBin: CUPS's own filters and helpers, and our backend alone.
        for (const char* sub : {"cgi-bin", "daemon", "filter", "monitor", "notifier"}) {
            QVERIFY(QFile::link(QString("/usr/lib/cups/") + sub, m_dir + "/bin/" + sub));
        }
        QVERIFY(!PrintFixture::installBackend(
                     m_dir + "/bin/backend", *m_service,
                     {{"waitMs", 60000}, {"retryPauseMs", 300}, {"uploadTimeoutMs", 10000}})
                     .isEmpty());
        write(m_dir + "/conf/cupsd.conf",
              QString("LogLevel debug\nListen %1\nBrowsing Off\nDefaultShared No\n"
                      "WebInterface No\nJobRetryInterval 1\nPreserveJobHistory Yes\n"
                      "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                      "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                      "  </Limit>\n</Policy>\n")
                  .arg(socketPath()));
        write(m_dir + "/conf/cups-files.conf",
              QString("ServerRoot %1/conf\nServerBin %1/bin\nCacheDir %1/cache\nStateDir %1/state\n"
                      "RequestRoot %1/spool\nErrorLog %1/log/error_log\nAccessLog %1/log/access_log\n"
                      "PageLog %1/log/page_log\nUser lp\nGroup lp\nSystemGroup root\n")
                  .arg(m_dir));
        m_cupsd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_cupsd.start("/usr/sbin/cupsd",
                      {"-f", "-c", m_dir + "/conf/cupsd.conf", "-s", m_dir + "/conf/cups-files.conf"});
        QVERIFY(m_cupsd.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(cups("lpstat", {"-r"}).contains("scheduler is running"), 20000);

        QCOMPARE(installScript({}), 0);
        // Installing again changes nothing and does not fail.
        QCOMPARE(installScript({}), 0);
        const QString queue = cups("lpstat", {"-l", "-p", "Vantelor"});
        QVERIFY2(queue.contains("Description: Vantelor 云打印"), qPrintable(queue));
        QVERIFY2(cups("lpstat", {"-v", "Vantelor"}).contains("vantelor://cloud"), qPrintable(queue));

        m_pdf = TestEnvironment::root() + "/ten-pages.pdf";
        QVERIFY(PrintFixture::writePdf(m_pdf, 10));
    }

    void cleanupTestCase()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(10000)) {
                m_cupsd.kill();
                m_cupsd.waitForFinished(5000);
            }
        }
    }

    void init() { QVERIFY(AccountFixture::reset(*m_service)); }
    void cleanup() { CLoginManager::instance(true); }

    void printedJobReachesTheService()
    {
        QVERIFY(AccountFixture::signInWithPrintBridge());
        QElapsedTimer time;
        time.start();
        const QString job = print("十页报告");
        QVERIFY(!job.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(PrintFixture::storedJobs(*m_service).size(), 1, 60000);
        qDebug("lp to the job stored at the service, 10 pages: %lld ms", time.elapsed());
        QTRY_VERIFY_WITH_TIMEOUT(completed(job), 30000);

        const QJsonObject stored = PrintFixture::storedJobs(*m_service).at(0).toObject();
        QCOMPARE(stored.value("accountId").toVariant().toLongLong(), 10001);
        QCOMPARE(stored.value("title").toString(), QString("十页报告"));
        QCOMPARE(stored.value("pages").toInt(), 10);
    }

    // Nobody signed in: the job waits with the reason, then prints by itself
    // once the user signs in.
    void jobWaitsForTheSignInThenPrints()
    {
        const QString job = print("等待登录");
        QVERIFY(!job.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(
            cups("lpstat", {"-l", "-o", "Vantelor"}).contains("Status: 请先启动并登录Vantelor客户端"), 30000);
        QVERIFY(!completed(job));
        QCOMPARE(PrintFixture::storedJobs(*m_service).size(), 0);

        QVERIFY(AccountFixture::signInWithPrintBridge());
        QTRY_COMPARE_WITH_TIMEOUT(PrintFixture::storedJobs(*m_service).size(), 1, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(completed(job), 30000);
        QCOMPARE(PrintFixture::storedJobs(*m_service).at(0).toObject().value("title").toString(),
                 QString("等待登录"));
    }

    // A refusal ends the job (aborted) instead of stopping the queue.
    void refusedJobIsAbortedWithTheServicesMessage()
    {
        QVERIFY(AccountFixture::signInWithPrintBridge());
        QVERIFY(m_service->setFault({{"endpoint", "printUpload"},
                                     {"mode", "fail"},
                                     {"errorCode", "1610"},
                                     {"errorMsg", "本月打印额度已用完"}}));
        const QString job = print("额度");
        QVERIFY(!job.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(completed(job), 30000);
        const QString ended = cups("lpstat", {"-W", "completed", "-l", "-o", "Vantelor"});
        QVERIFY2(ended.contains("Status: 本月打印额度已用完"), qPrintable(ended));
        QCOMPARE(PrintFixture::storedJobs(*m_service).size(), 0);
        QVERIFY(!cups("lpstat", {"-p", "Vantelor"}).contains("disabled"));
        QVERIFY(m_service->clearFaults());
        // The queue still prints.
        const QString next = print("额度之后");
        QTRY_COMPARE_WITH_TIMEOUT(PrintFixture::storedJobs(*m_service).size(), 1, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(completed(next), 30000);
    }

    // An application's print path: Qt's CUPS printing renders the pages to
    // PDF and hands them to the queue, with or without its print dialog.
    void applicationPrintsThroughTheQueue_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::newRow("painted directly") << false;
        QTest::newRow("through the print dialog") << true;
    }

    void applicationPrintsThroughTheQueue()
    {
        QFETCH(bool, dialog);
        QVERIFY(AccountFixture::signInWithPrintBridge());
        qputenv("CUPS_SERVER", socketPath().toLocal8Bit());
        const QPrinterInfo queue = QPrinterInfo::printerInfo("Vantelor");
        QVERIFY2(!queue.isNull(), qPrintable(QPrinterInfo::availablePrinterNames().join(", ")));
        QPrinter printer(queue);
        printer.setDocName("应用打印");
        if (dialog) {
            QPrintDialog printDialog(&printer);
            QTimer::singleShot(0, &printDialog, [&printDialog] {
                auto* printers = printDialog.findChild<QComboBox*>("printers");
                QVERIFY(printers);
                printers->setCurrentIndex(printers->findText("Vantelor"));
                auto* buttons = printDialog.findChild<QDialogButtonBox*>();
                QVERIFY(buttons);
                buttons->button(QDialogButtonBox::Ok)->click();
            });
            QCOMPARE(printDialog.exec(), int(QDialog::Accepted));
            QCOMPARE(printer.printerName(), QString("Vantelor"));
        }
        QPainter painter(&printer);
        QVERIFY(painter.isActive());
        for (int page = 1; page <= 3; ++page) {
            if (page > 1) {
                printer.newPage();
            }
            painter.drawText(100, 100, QString("page %1").arg(page));
        }
        QVERIFY(painter.end());
        QTRY_COMPARE_WITH_TIMEOUT(PrintFixture::storedJobs(*m_service).size(), 1, 60000);
        const QJsonObject stored = PrintFixture::storedJobs(*m_service).at(0).toObject();
        QCOMPARE(stored.value("title").toString(), QString("应用打印"));
        QCOMPARE(stored.value("pages").toInt(), 3);
    }

    void scriptRemovesTheQueue()
    {
        QCOMPARE(installScript({"--remove"}), 0);
        int code = -1;
        cups("lpstat", {"-p", "Vantelor"}, &code);
        QVERIFY(code != 0);
        QCOMPARE(installScript({"--remove"}), 0);
        QCOMPARE(installScript({"--bogus"}), 2);
        // Without a scheduler: a message and an exit code of its own.
        int noScheduler = -1;
        cups(VANTELOR_SOURCE_DIR "/scripts/install-printer.sh", {}, &noScheduler,
             {{"CUPS_SERVER", m_dir + "/no-such.sock"}});
        QCOMPARE(noScheduler, 3);
    }
};

QTEST_MAIN(TestCupsQueue)
#include "tst_cupsqueue.moc"
