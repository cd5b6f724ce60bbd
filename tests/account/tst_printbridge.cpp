#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "core/startup.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

// A print driver on 127.0.0.1:6668, a real TCP client, against the login
// manager's listener and the local service's print information.
class TestPrintBridge : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        TestEnvironment::isolate();
        setApplicationIdentity();
    }

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

    bool signIn()
    {
        CLoginManager* login = CLoginManager::instance().get();
        QSignalSpy signedIn(login, &CLoginManager::signalLogin);
        login->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        return signedIn.count() == 1 || signedIn.wait(10000);
    }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }
    void init() { QVERIFY(AccountFixture::reset(*m_service)); }
    void cleanup() { CLoginManager::setPrintFetchLimitForTesting(0); }

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
        QTRY_VERIFY(!driver.received.isEmpty());
        QTest::qWait(200);

        // The indented JSON of "content"."data", in UTF-8, and nothing else.
        const QJsonDocument document = QJsonDocument::fromJson(driver.received);
        QVERIFY(document.isObject());
        QCOMPARE(driver.received, document.toJson(QJsonDocument::Indented));
        QCOMPARE(document.object().value("printQueue").toString(), QString("vantelor-cloud-print"));
        QCOMPARE(QString::fromUtf8(driver.received), CLoginInfo::instance()->printInfo);
        QCOMPARE(AccountFixture::requestCount(*m_service, "printInfo"), 1);
        QTRY_VERIFY(AccountFixture::eventNames(*m_service).contains("云打印"));
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
        Driver second;
        QVERIFY(first.connectToClient());
        QTest::qWait(150);
        QVERIFY(second.connectToClient());
        QTRY_VERIFY_WITH_TIMEOUT(!first.received.isEmpty() && !second.received.isEmpty(), 8000);
        QTest::qWait(200);
        QCOMPARE(first.received, second.received);
        QVERIFY(QJsonDocument::fromJson(first.received).isObject());
        QCOMPARE(AccountFixture::requestCount(*m_service, "printInfo"), 2);
    }
};

QTEST_MAIN(TestPrintBridge)
#include "tst_printbridge.moc"
