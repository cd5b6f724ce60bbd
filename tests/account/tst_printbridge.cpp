#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "account/printbridge.h"
#include "support/accountfixture.h"
#include "support/processtree.h"
#include "support/testenvironment.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>

#include <algorithm>

// A print driver on 127.0.0.1:6668, a real TCP client, against the login
// manager's listener and the local service's print information.
class TestPrintBridge : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;

    // What the client sends until it closes the connection (or time runs out).
    struct Driver
    {
        QTcpSocket socket;
        QByteArray received;
        bool closed = false;

        bool connectToClient()
        {
            QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
            QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
            socket.connectToHost(QHostAddress::LocalHost, CLoginManager::kPrintPort);
            return socket.waitForConnected(2000);
        }
    };

    static bool signIn() { return AccountFixture::signInWithPrintBridge(); }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }
    void init() { QVERIFY(AccountFixture::reset(*m_service)); }
    void cleanup()
    {
        CLoginManager::setPrintFetchLimitForTesting(0);
        CPrintBridge::setConnectionLifetimeForTesting(0);
    }

    void signedOutClosesAtOnce()
    {
        // No listener before anyone signs in.
        CLoginManager::instance();
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, CLoginManager::kPrintPort);
        QVERIFY(!probe.waitForConnected(1000));

        // Signed in and out again: the listener is gone with the sign-in.
        QVERIFY(signIn());
        CLoginManager::instance()->logout();
        QTcpSocket after;
        after.connectToHost(QHostAddress::LocalHost, CLoginManager::kPrintPort);
        QVERIFY(!after.waitForConnected(1000));
        QCOMPARE(AccountFixture::requestCount(*m_service, "printInfo"), 0);
    }

    void signedInDriverGetsTheData()
    {
        QVERIFY(signIn());
        Driver driver;
        QVERIFY(driver.connectToClient());
        QTRY_VERIFY(QJsonDocument::fromJson(driver.received).isObject());
        // The usage event follows the data: anything sent after it has arrived by then.
        QTRY_VERIFY(AccountFixture::eventNames(*m_service).contains("云打印"));
        QCoreApplication::processEvents();

        // The indented JSON of "content"."data", in UTF-8, and nothing else.
        const QJsonDocument document = QJsonDocument::fromJson(driver.received);
        QVERIFY(document.isObject());
        QCOMPARE(driver.received, document.toJson(QJsonDocument::Indented));
        QCOMPARE(document.object().value("printQueue").toString(), QString("vantelor-cloud-print"));
        QCOMPARE(QString::fromUtf8(driver.received), CLoginInfo::instance()->printInfo);
        QCOMPARE(AccountFixture::requestCount(*m_service, "printInfo"), 1);
        QVERIFY(!driver.closed);
    }

    void slowServiceTriesTwiceThenCloses()
    {
        CLoginManager::setPrintFetchLimitForTesting(300);
        QVERIFY(signIn());
        QVERIFY(m_service->setFault({{"endpoint", "printInfo"}, {"mode", "delay"}, {"delayMs", 8000}}));
        Driver driver;
        QVERIFY(driver.connectToClient());
        QTRY_VERIFY_WITH_TIMEOUT(driver.closed, 5000);
        QVERIFY(driver.received.isEmpty());
        QCOMPARE(AccountFixture::requestCount(*m_service, "printInfo"), 2);
        QVERIFY(CLoginInfo::instance()->printInfo.isEmpty());
    }

    void secondTryServesTheDriver()
    {
        CLoginManager::setPrintFetchLimitForTesting(300);
        QVERIFY(signIn());
        QVERIFY(m_service->setFault(
            {{"endpoint", "printInfo"}, {"mode", "delay"}, {"delayMs", 1500}, {"count", 1}}));
        Driver driver;
        QVERIFY(driver.connectToClient());
        QTRY_VERIFY_WITH_TIMEOUT(!driver.received.isEmpty(), 5000);
        QVERIFY(QJsonDocument::fromJson(driver.received).isObject());
        QCOMPARE(AccountFixture::requestCount(*m_service, "printInfo"), 2);
    }

    void listensAgainAfterLogoutAndNewLogin()
    {
        QVERIFY(signIn());
        CLoginManager::instance()->logout();
        QVERIFY(signIn());
        Driver driver;
        QVERIFY(driver.connectToClient());
        QTRY_VERIFY(!driver.received.isEmpty());
        QVERIFY(QJsonDocument::fromJson(driver.received).isObject());
    }

    void overlappingConnectionsBothGetTheData()
    {
        QVERIFY(signIn());
        // Slow answers make the second connection arrive while the first waits.
        QVERIFY(m_service->setFault({{"endpoint", "printInfo"}, {"mode", "delay"}, {"delayMs", 600}}));
        Driver first;
        QVERIFY(first.connectToClient());
        // The second driver is another program: it connects while the client
        // waits for the first fetch.
        QByteArray secondReceived;
        std::unique_ptr<QThread> second(QThread::create([&secondReceived] {
            QThread::msleep(150);
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, CLoginManager::kPrintPort);
            if (socket.waitForConnected(2000)) {
                while (socket.waitForReadyRead(secondReceived.isEmpty() ? 8000 : 300)) {
                    secondReceived += socket.readAll();
                }
            }
        }));
        second->start();
        QTRY_VERIFY_WITH_TIMEOUT(second->isFinished(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!first.received.isEmpty(), 8000);
        QCOMPARE(first.received, secondReceived);
        QVERIFY(QJsonDocument::fromJson(first.received).isObject());
        // The second connection shares the fetch that was already in flight.
        QCOMPARE(AccountFixture::requestCount(*m_service, "printInfo"), 1);
    }

    // A sign-in as another account while the fetch waits: the first
    // account's information reaches neither the driver nor the new sign-in.
    void signInAsAnotherAccountDuringTheFetch()
    {
        QVERIFY(signIn());
        QVERIFY(m_service->setFault({{"endpoint", "printInfo"}, {"mode", "delay"}, {"delayMs", 800}}));
        CLoginManager* login = CLoginManager::instance().get();
        QSignalSpy signedIn(login, &CLoginManager::signalLogin);
        QTimer::singleShot(200, login, [login] {
            login->loginPswd(LocalServiceProcess::unnamedPhone, LocalServiceProcess::password);
        });
        Driver driver;
        QVERIFY(driver.connectToClient());
        QTRY_VERIFY_WITH_TIMEOUT(driver.closed, 10000);
        QVERIFY(driver.received.isEmpty());
        QTRY_COMPARE(signedIn.count(), 1);
        QVERIFY(CLoginInfo::instance()->accountId != "10001");
        QVERIFY(CLoginInfo::instance()->printInfo.isEmpty());
    }

    // Drivers that connect and hang up at once cost no fetch each.
    void quickConnectCloseCyclesDoNotFetchEach()
    {
        QVERIFY(signIn());
        const int cycles = 1000;
        std::unique_ptr<QThread> peer(QThread::create([cycles] {
            for (int i = 0; i < cycles; ++i) {
                QTcpSocket socket;
                socket.connectToHost(QHostAddress::LocalHost, CLoginManager::kPrintPort);
                if (socket.waitForConnected(2000)) {
                    socket.close();
                }
            }
        }));
        peer->start();
        QTRY_VERIFY_WITH_TIMEOUT(peer->isFinished(), 120000);

        Driver driver;
        QVERIFY(driver.connectToClient());
        QTRY_VERIFY_WITH_TIMEOUT(!driver.received.isEmpty(), 10000);
        QVERIFY(QJsonDocument::fromJson(driver.received).isObject());
        const int fetches = AccountFixture::requestCount(*m_service, "printInfo");
        qDebug("%d connect/close cycles, then one driver: %d print-information fetches", cycles, fetches);
        QVERIFY2(fetches <= cycles / 20, qPrintable(QString::number(fetches)));
    }

    // Peers that flood the port, stay connected or come in numbers are cut
    // off; a driver that comes afterwards is still served.
    void misbehavingPeersAreCutOff_data()
    {
        QTest::addColumn<QString>("peer");
        QTest::newRow("keeps writing after the answer") << "flood";
        QTest::newRow("stays connected for good") << "linger";
        QTest::newRow("forty idle connections") << "crowd";
    }

    void misbehavingPeersAreCutOff()
    {
        QFETCH(QString, peer);
        QVERIFY(signIn());
        CPrintBridge* bridge = CLoginManager::instance()->printBridge();
        if (peer == "flood") {
            Driver flooder;
            QVERIFY(flooder.connectToClient());
            QTRY_VERIFY(!flooder.received.isEmpty());
            // Measured, not asserted: the client here is this process.
            const qint64 pssBefore = ProcessTree::of(QCoreApplication::applicationPid()).pssKiB;
            const QByteArray chunk(64 * 1024, 'x');
            const qint64 offered = 64 * 1024 * 1024;
            qint64 written = 0;
            QElapsedTimer time;
            time.start();
            while (written < offered && flooder.socket.state() == QAbstractSocket::ConnectedState &&
                   time.elapsed() < 30000) {
                if (flooder.socket.bytesToWrite() < 1024 * 1024) {
                    written += flooder.socket.write(chunk);
                }
                QCoreApplication::processEvents();
            }
            const qint64 pssAfter = ProcessTree::of(QCoreApplication::applicationPid()).pssKiB;
            qDebug(
                "the flooding peer got %lld bytes written before it was cut off; client PSS %lld KiB before, "
                "%lld KiB after",
                written, pssBefore, pssAfter);
            QTRY_VERIFY_WITH_TIMEOUT(flooder.closed, 5000);
            QVERIFY2(written < 16 * 1024 * 1024, qPrintable(QString::number(written)));
        } else if (peer == "linger") {
            CPrintBridge::setConnectionLifetimeForTesting(500);
            Driver lingerer;
            QVERIFY(lingerer.connectToClient());
            QTRY_VERIFY(!lingerer.received.isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(lingerer.closed, 5000);
            QCOMPARE(bridge->connectionCount(), 0);
        } else {
            std::vector<std::unique_ptr<Driver>> crowd;
            for (int i = 0; i < 40; ++i) {
                crowd.push_back(std::make_unique<Driver>());
                QVERIFY(crowd.back()->connectToClient());
            }
            const auto open = [&crowd] {
                return std::count_if(crowd.begin(), crowd.end(), [](const auto& d) { return !d->closed; });
            };
            QTRY_VERIFY_WITH_TIMEOUT(open() <= CPrintBridge::kMaxConnections, 10000);
            QVERIFY(bridge->connectionCount() <= CPrintBridge::kMaxConnections);
        }

        Driver driver;
        QVERIFY(driver.connectToClient());
        QTRY_VERIFY_WITH_TIMEOUT(!driver.received.isEmpty(), 10000);
        QVERIFY(QJsonDocument::fromJson(driver.received).isObject());
        QVERIFY(bridge->connectionCount() <= CPrintBridge::kMaxConnections);
    }
};

QTEST_GUILESS_MAIN(TestPrintBridge)
#include "tst_printbridge.moc"
