#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "account/signedrequest.h"
#include "account/tokenmanager.h"
#include "core/cipher.h"
#include "core/dplustrack.h"
#include "core/localconfig.h"
#include "core/netstatewathcer.h"
#include "core/singlenetworkmanger.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"
#include "ui/pagehome.h"
#include "weather/weather.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <unistd.h>

#include <cstdlib>

#include <vector>

// The client when the network is gone: started with none at all, and losing
// it in the middle of a sign-in. The test runs itself in a network namespace
// of its own (see main), so it can take the network away without touching
// anything outside: the local service it starts is inside the same namespace.
class TestNetworkLoss : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        TestEnvironment::isolateClient();
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }

    static bool& inOwnNamespace()
    {
        static bool inside = false;
        return inside;
    }

private:
    // The limits through their test seams: the network limit stands for the
    // 30 s of the calls that have no limit of their own.
    static constexpr int kNetworkLimitMs = 1500;

    std::unique_ptr<LocalServiceProcess> m_service;

    static bool shell(const QString& command) { return QProcess::execute("sh", {"-c", command}) == 0; }

    static void setLoopback(bool up) { QVERIFY(shell(QString("ip link set lo %1").arg(up ? "up" : "down"))); }

    // Every packet on the namespace's loopback silently dropped: netem where
    // the kernel has it, else the blackhole queue, which does the same.
    static bool dropAllPackets()
    {
        return shell("tc qdisc add dev lo root netem loss 100% 2>/dev/null || "
                     "tc qdisc add dev lo root blackhole");
    }
    static bool deliverPacketsAgain() { return shell("tc qdisc del dev lo root"); }

    static QString net(int code) { return CSignedRequest::networkErrorText(code); }

    static QString logFile()
    {
        return TestEnvironment::root() + "/config/vantelor/log_" +
               QDate::currentDate().toString(Qt::ISODate) + ".txt";
    }

    // The remembered-password sign-in, as the sign-in dialog leaves it.
    static void rememberDemoPassword()
    {
        const auto& config = CLocalConfig::instance();
        QString password;
        QVERIFY(CCipher::instance()->rsaEncryptBase64(LocalServiceProcess::password, password));
        config->setValue(CLocalConfig::kAutoLogin, true);
        config->setValue(CLocalConfig::kRememberPswd, true);
        config->setEncryptedValue(CLocalConfig::kUserPhone1, LocalServiceProcess::demoPhone);
        config->setEncryptedValue(CLocalConfig::kUserPswd, password);
        config->setEncryptedValue(CLocalConfig::kTime, QDateTime::currentDateTime().toString(Qt::ISODate));
        CLocalConfig::instance(true);
    }

    // Lines of the client's log, each with its time.
    static QList<QPair<QDateTime, QString>> logLines()
    {
        QList<QPair<QDateTime, QString>> lines;
        QFile file(logFile());
        if (!file.open(QIODevice::ReadOnly)) {
            return lines;
        }
        static const QRegularExpression form(R"(^\[(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})\] (.*)$)");
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
            const QRegularExpressionMatch m = form.match(line);
            if (m.hasMatch()) {
                lines.append(
                    {QDateTime::fromString(m.captured(1), "yyyy/MM/dd hh:mm:ss.zzz"), m.captured(2)});
            }
        }
        return lines;
    }

    static QDateTime firstLine(const QString& text)
    {
        for (const auto& line : logLines()) {
            if (line.second.contains(text)) {
                return line.first;
            }
        }
        return QDateTime();
    }

    static QByteArray weatherAnswer(const QString& city)
    {
        QJsonArray casts;
        for (int i = 0; i < 4; ++i) {
            casts.append(QJsonObject{{"date", QDate::currentDate().addDays(i).toString("yyyy-MM-dd")},
                                     {"dayweather", "晴"},
                                     {"daytemp", "20"},
                                     {"nighttemp", "10"}});
        }
        return QJsonDocument(
                   QJsonObject{{"status", "1"},
                               {"forecasts", QJsonArray{QJsonObject{{"city", city}, {"casts", casts}}}}})
            .toJson(QJsonDocument::Compact);
    }

private slots:
    void initTestCase()
    {
        if (!inOwnNamespace()) {
            QSKIP("no network namespace of its own could be made (unshare -n)");
        }
        CSingleNetworkManger::setTimeLimitForTesting(kNetworkLimitMs);
    }

    void cleanup()
    {
        CWeather::instance(true);
        CNetStateWathcer::instance(true);
        CLoginManager::instance(true);
        CTokenManager::instance(true);
        CSingleNetworkManger::instance(true);
    }

    // The real client, started in namespaces of its own with nothing to reach.
    void clientWithoutNetwork_data()
    {
        QTest::addColumn<bool>("cache");
        QTest::newRow("no cache: the default city") << false;
        QTest::newRow("a cache: its city") << true;
    }
    void clientWithoutNetwork()
    {
        QFETCH(bool, cache);
        setLoopback(true); // the client's local sockets and its own namespaces need no more
        QFile::remove(logFile());
        QFile::remove(CWeather::cacheFilePath());
        if (cache) {
            QFile file(CWeather::cacheFilePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(weatherAnswer("杭州市"));
        }
        rememberDemoPassword();

        QProcess client;
        client.setProcessChannelMode(QProcess::ForwardedChannels);
        TestEnvironment::startClient(client);
        QVERIFY(client.waitForStarted());
        QLocalSocket socket;
        const QString mainSocket = TestEnvironment::runtimeDir() + "/marlunemain";
        QTRY_VERIFY_WITH_TIMEOUT(TestEnvironment::connectOnce(socket, mainSocket), 20000);

        // The watcher's first report is "offline", without waiting for a ping.
        QTRY_VERIFY_WITH_TIMEOUT(firstLine("network fail").isValid(), 10000);
        const QDateTime monitorStarted = firstLine("CNetStateWathcer: monitor started");
        QVERIFY(monitorStarted.isValid());
        QVERIFY(monitorStarted.msecsTo(firstLine("network fail")) < 1000);

        // The home page: the cache at once, or the default city once the
        // location and the forecast have failed.
        if (cache) {
            QTRY_VERIFY_WITH_TIMEOUT(firstLine("read local weather data file OK").isValid(), 10000);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(firstLine("IP locate using default city").isValid(), 40000);
            QTRY_VERIFY_WITH_TIMEOUT(firstLine("weather: use default weather").isValid(), 40000);
        }

        // The remembered-password sign-in ends with the network text.
        QTRY_VERIFY_WITH_TIMEOUT(firstLine("authCode by pswd error:").isValid(), 40000);
        QString failure;
        for (const auto& line : logLines()) {
            if (line.second.startsWith("authCode by pswd error:")) {
                failure = line.second;
            }
        }
        QVERIFY2(failure.contains("网络异常或本机时间不正确,错误码:"), qPrintable(failure));
        const QDateTime signInStart = firstLine("CLoginManager autoLogin start");
        QVERIFY(signInStart.isValid());
        // Nothing to reach answers at once; no wait runs into the 30 s limit.
        QVERIFY(signInStart.msecsTo(firstLine("authCode by pswd error:")) <
                CSingleNetworkManger::kTimeLimitMs);

        socket.write("close");
        QVERIFY(socket.waitForBytesWritten(2000));
        QTRY_VERIFY_WITH_TIMEOUT(client.state() == QProcess::NotRunning, 20000);
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
    }

    // In this process, with the loopback down: not even 127.0.0.1 is there.
    void managersAndHomePageWithoutNetwork()
    {
        setLoopback(false);
        QFile::remove(CWeather::cacheFilePath());

        QSignalSpy states(CNetStateWathcer::instance().get(), &CNetStateWathcer::netStateChange);
        QElapsedTimer clock;
        clock.start();
        CNetStateWathcer::instance()->startMonitor();
        QVERIFY(states.wait(5000));
        QCOMPARE(states.first().at(0).toBool(), false);
        QVERIFY(clock.elapsed() < 1000);

        PageHome page;
        QLabel* today = page.findChild<QLabel*>("wea_td_info");
        QVERIFY(today);
        const QString initial = today->text();
        // The location fails, is tried once more, then the forecast for the
        // default city fails: the default data.
        QTRY_VERIFY_WITH_TIMEOUT(today->text() != initial, 3 * kNetworkLimitMs + 1000);
        QVERIFY2(today->text().contains("深圳"), qPrintable(today->text()));
        QVERIFY(!CWeather::instance()->weatherData().days.isEmpty());
        QCOMPARE(CWeather::instance()->weatherData().days.first().weather, QStringLiteral("未知"));

        auto* login = CLoginManager::instance().get();
        QSignalSpy logStates(login, &CLoginManager::signalLogState);
        clock.restart();
        login->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QTRY_VERIFY_WITH_TIMEOUT(!logStates.isEmpty(), kNetworkLimitMs + 1000);
        QVERIFY2(logStates.first().at(1).toString().startsWith("网络异常或本机时间不正确,错误码:"),
                 qPrintable(logStates.first().at(1).toString()));
        QVERIFY(!login->isLoggedIn());
        CNetStateWathcer::instance()->stopMonitor();
        setLoopback(true);
    }

    // The local service inside the namespace, the network gone while one step
    // of the sign-in waits: the step's answer never comes, the wait ends at
    // the limit with the network text, and once the network is back the next
    // sign-in works.
    void lossMidSignIn_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("waits"); // how many calls then run into the limit one after another
        QTest::newRow("authorization code") << "authCodeByPassword" << 1;
        QTest::newRow("token") << "tokenFromAuthCode" << 1;
        QTest::newRow("validation") << "validateToken" << 1;
        // The sign-in goes on after a failed company list: the person detail waits too.
        QTest::newRow("company list") << "companyList" << 2;
        QTest::newRow("person detail") << "personDetail" << 1;
    }
    void lossMidSignIn()
    {
        QFETCH(QString, step);
        QFETCH(int, waits);
        setLoopback(true);
        if (!m_service) {
            QVERIFY(AccountFixture::start(m_service));
        }
        QVERIFY(AccountFixture::reset(*m_service));
        // The step's answer is held back a little, so that the network can go
        // while the client waits for it.
        QVERIFY(m_service->setFault({{"endpoint", step}, {"mode", "delay"}, {"delayMs", 300}}));

        auto* login = CLoginManager::instance().get();
        QSignalSpy logStates(login, &CLoginManager::signalLogState);
        QElapsedTimer sinceLoss;
        bool dropping = false;
        // Watches the service's journal for the step's request; then the packets go.
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!dropping && !m_service->requests(step).isEmpty()) {
                dropping = dropAllPackets();
                sinceLoss.start();
                watch.stop();
            }
        });
        watch.start(20);
        login->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QTRY_VERIFY_WITH_TIMEOUT(!logStates.isEmpty(), waits * kNetworkLimitMs + 5000);
        watch.stop();
        QVERIFY(dropping);
        const qint64 waited = sinceLoss.elapsed();
        QVERIFY(deliverPacketsAgain());

        QCOMPARE(logStates.first().at(1).toString(), net(QNetworkReply::OperationCanceledError));
        QVERIFY(!login->isLoggedIn());
        QVERIFY2(waited <= waits * kNetworkLimitMs + 1000, qPrintable(QString("%1 ms").arg(waited)));

        QVERIFY(m_service->clearFaults());
        QSignalSpy signedIn(login, &CLoginManager::signalLogin);
        login->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QVERIFY(signedIn.count() == 1 || signedIn.wait(10000));
    }
};

int main(int argc, char** argv)
{
    // Once more, inside a network namespace of its own (as root, or where
    // user namespaces allow it); without one the cases skip.
    if (qEnvironmentVariableIsEmpty("VANTELOR_TEST_OWN_NETNS")) {
        qputenv("VANTELOR_TEST_OWN_NETNS", "1");
        if (std::system("unshare -n true >/dev/null 2>&1") == 0) {
            std::vector<char*> args{const_cast<char*>("unshare"), const_cast<char*>("-n"),
                                    const_cast<char*>("--")};
            for (int i = 0; i < argc; ++i) {
                args.push_back(argv[i]);
            }
            args.push_back(nullptr);
            execvp("unshare", args.data());
        }
        qputenv("VANTELOR_TEST_OWN_NETNS", "unavailable");
    }
    TestNetworkLoss::inOwnNamespace() = qgetenv("VANTELOR_TEST_OWN_NETNS") == "1";
    TestNetworkLoss::initMain();
    QApplication app(argc, argv);
    QTEST_SET_MAIN_SOURCE_PATH
    TestNetworkLoss test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_networkloss.moc"
