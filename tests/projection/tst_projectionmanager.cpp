#include "platform/systemping.h"
#include "projection/projectionmanager.h"
#include "support/testenvironment.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <cstring>

// The manager against a scripted library: the test decides what each code
// looks up to and when the library reports success or a stop. Pings go to
// the loopback-only stand-in, so only 127.x.y.z candidates answer.
namespace {
struct FakeLibrary
{
    QMap<QString, QString> addresses;
    QStringList calls;
    QList<QStringList> projections; // entries of each startProjection, kind first
    IP2PDsClientSessionCb* callback = nullptr;
    int created = 0;
};

class FakeSession : public IProjectionSession
{
public:
    FakeSession(FakeLibrary& library, IP2PDsClientSessionCb* callback) : m_library(library)
    {
        m_library.callback = callback;
        ++m_library.created;
    }
    int init() override { return record("init"); }
    int getIpFromVerfCode(const char* code, char* ip) override
    {
        const QByteArray address = m_library.addresses.value(code, "192.0.0.0").toLatin1();
        std::strncpy(ip, address.constData(), 19);
        return record("lookup " + QString(code));
    }
    int startProjection(const P2PDsClientSettings& settings) override
    {
        QStringList entry{QString::number(settings.kind)};
        for (int i = 0; i < settings.entryCount; ++i) {
            entry << QString::fromLatin1(settings.entries[i]);
        }
        m_library.projections << entry;
        return record("start");
    }
    int cancelProjection() override { return record("cancel"); }
    int stopProjection() override { return record("stop") + 1; }
    int terminate() override { return record("terminate"); }

private:
    int record(const QString& call)
    {
        m_library.calls << call;
        return 0;
    }
    FakeLibrary& m_library;
};

QStringList g_pinged;
int g_answers = 0;                // "ping OK", logged on the GUI thread
std::atomic<int> g_pingsEnded{0}; // logged by the ping threads
void capturePings(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (message.startsWith("CCmdThread program:")) {
        g_pinged << message.section(' ', -1);
    } else if (message.startsWith("Projection : ping OK")) {
        ++g_answers;
    } else if (message.startsWith("CCmdThread exitCode:")) {
        ++g_pingsEnded;
    }
}
} // namespace

class TestProjectionManager : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        qputenv("VANTELOR_PING_SCRIPT", QFile::encodeName(scriptPath()));
        IProjectionSession::setFactory([this](IP2PDsClientSessionCb* callback) {
            return std::make_unique<FakeSession>(m_library, callback);
        });
    }
    void init()
    {
        m_library = FakeLibrary();
        g_pinged.clear();
        g_answers = 0;
        g_pingsEnded = 0;
        QFile::remove(scriptPath());
        QFile::remove(scriptPath() + ".state");
        qInstallMessageHandler(&capturePings);
    }
    void cleanup()
    {
        qInstallMessageHandler(nullptr);
        CProjectionManager::instance(true);
    }

    void startRefusesBadRequests_data()
    {
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("no code") << QStringList();
        QTest::newRow("three codes") << QStringList{"AAAAA", "BBBBB", "CCCCC"};
    }
    void startRefusesBadRequests()
    {
        QFETCH(QStringList, codes);
        QVERIFY(!manager().start(codes));
        QVERIFY(manager().start({"AAAAA"}));
        QVERIFY2(!manager().start({"BBBBB"}), "an attempt is already running");
    }

    // The session exists from the first start, so the first attempt already
    // projects by code; without success it goes on through the lookup.
    void firstAttemptProjectsByCodeThenLooksUp()
    {
        m_library.addresses["K3M9Q"] = "127.2.3.4";
        QVERIFY(manager().start({"K3M9Q"}));
        QCOMPARE(m_library.created, 1);
        QCOMPARE(m_library.calls.value(0), QString("init"));
        QCOMPARE(m_library.projections.value(0), QStringList({"0", "K3M9Q"}));
        ticks(9);
        QVERIFY(!m_library.calls.contains("lookup K3M9Q"));
        ticks(1);
        QVERIFY(m_library.calls.contains("lookup K3M9Q"));
        QCOMPARE(m_library.created, 1);
        QCOMPARE(g_pinged, QStringList({"127.2.3.4", "192.2.3.4", "172.2.3.4", "10.2.3.4"}));
        QTRY_COMPARE(m_library.projections.value(1), QStringList({"1", "127.2.3.4"}));

        QSignalSpy started(&manager(), &CProjectionManager::projectStarted);
        m_library.callback->onProjectionSuccess();
        ticks(1);
        QCOMPARE(started.count(), 1);
        QVERIFY(manager().isProjecting());

        // A stop reported by the library is announced by the next tick.
        QSignalSpy stopped(&manager(), &CProjectionManager::projectStoped);
        m_library.callback->onProjectionStopped();
        QCOMPARE(stopped.count(), 0);
        ticks(1);
        QCOMPARE(stopped.count(), 1);
    }

    void candidatesFollowTheFirstOctet_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("candidates");
        QTest::newRow("10") << "10.2.3.4" << QStringList{"10.2.3.4", "192.2.3.4", "172.2.3.4"};
        QTest::newRow("192") << "192.2.3.4" << QStringList{"192.2.3.4", "172.2.3.4", "10.2.3.4"};
        QTest::newRow("172") << "172.9.8.7" << QStringList{"172.9.8.7", "192.9.8.7", "10.9.8.7"};
    }
    void candidatesFollowTheFirstOctet()
    {
        QFETCH(QString, address);
        QFETCH(QStringList, candidates);
        m_library.addresses["ABCDE"] = address;
        manager().start({"ABCDE"});
        ticks(10);
        QCOMPARE(g_pinged, candidates);
    }

    void codeErrors_data()
    {
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QStringList>("addresses");
        QTest::newRow("unknown code") << QStringList{"ZZZZZ"} << QStringList{"192.0.0.0"};
        QTest::newRow("second code unknown")
            << QStringList{"AAAAA", "ZZZZZ"} << QStringList{"10.1.1.1", "10.0.0.0"};
        QTest::newRow("different networks")
            << QStringList{"AAAAA", "BBBBB"} << QStringList{"10.1.1.1", "192.1.1.2"};
    }
    void codeErrors()
    {
        QFETCH(QStringList, codes);
        QFETCH(QStringList, addresses);
        for (int i = 0; i < codes.size(); ++i) {
            m_library.addresses[codes[i]] = addresses[i];
        }
        QSignalSpy errors(&manager(), &CProjectionManager::projectError);
        manager().start(codes);
        ticks(10);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0), QVariantList({"1", "投屏码错误"}));
        QCOMPARE(manager().lastError(), QString("投屏码错误"));
        QVERIFY(g_pinged.isEmpty());
        QVERIFY2(manager().start(codes), "the attempt has ended");
    }

    void noPingAnswerTimesOut()
    {
        m_library.addresses["ABCDE"] = "10.2.3.4"; // the stand-in answers none of these
        QSignalSpy errors(&manager(), &CProjectionManager::projectError);
        manager().start({"ABCDE"});
        ticks(10 + 16);
        QCOMPARE(errors.count(), 0);
        ticks(1);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0), QVariantList({"5001", "投屏码错误或VPN问题"}));
        QVERIFY(manager().lastError().isEmpty());
    }

    void twoCodesUseTheFirstTwoAnswers()
    {
        m_library.addresses["AAAAA"] = "127.1.1.1";
        m_library.addresses["BBBBB"] = "127.2.2.2";
        manager().start({"AAAAA", "BBBBB"});
        ticks(10);
        QTRY_COMPARE(m_library.projections.size(), 2); // by code, then by address
        QStringList projected = m_library.projections.at(1);
        QCOMPARE(projected.takeFirst(), QString("1"));
        projected.sort();
        QCOMPARE(projected, QStringList({"127.1.1.1", "127.2.2.2"}));
    }

    void lateAnswersStartNothing_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("after a stop") << "stop";
        QTest::newRow("in a later attempt") << "later attempt";
    }
    // An answer counts only for the attempt that sent the ping, while that
    // attempt looks for an address.
    void lateAnswersStartNothing()
    {
        QFETCH(QString, when);
        m_library.addresses["AAAAA"] = "127.2.3.4";
        m_library.addresses["CCCCC"] = "10.9.9.9"; // no answer
        slowAnswer("127.2.3.4", 800);
        QVERIFY(manager().start({"AAAAA"}));
        ticks(10);
        QCOMPARE(g_pinged.size(), 4);
        if (when == "stop") {
            // The attempt succeeded before the answer came; the user stops.
            m_library.callback->onProjectionSuccess();
            ticks(1);
            QVERIFY(manager().isProjecting());
            manager().stop();
            ticks(1);
        } else {
            ticks(17); // the attempt timed out
            QVERIFY(manager().start({"CCCCC"}));
            ticks(10);
        }
        const int projections = m_library.projections.size();
        QTRY_COMPARE_WITH_TIMEOUT(g_answers, 1, 5000);
        QCOMPARE(m_library.projections.size(), projections);
        QVERIFY(!manager().isProjecting());
    }

    // The lookup's text becomes a ping argument: only dotted IPv4 text is.
    void lookupResultThatIsNoAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << "";
        QTest::newRow("an option") << "-f";
        QTest::newRow("address and an option") << "127.2.3.4 -f";
        QTest::newRow("three octets") << "127.2.3";
        QTest::newRow("octet above 255") << "127.2.3.256";
        QTest::newRow("host name") << "localhost";
    }
    void lookupResultThatIsNoAddress()
    {
        QFETCH(QString, address);
        m_library.addresses["ABCDE"] = address;
        QSignalSpy errors(&manager(), &CProjectionManager::projectError);
        QVERIFY(manager().start({"ABCDE"}));
        ticks(10);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0), QVariantList({"1", "投屏码错误"}));
        QVERIFY(g_pinged.isEmpty());
    }

    // Releasing the manager ends the pings still running; none outlives it.
    void releaseEndsRunningPings()
    {
        m_library.addresses["ABCDE"] = "127.2.3.4";
        slowAnswer("127.2.3.4", 4000);
        QVERIFY(manager().start({"ABCDE"}));
        ticks(10);
        QCOMPARE(g_pinged.size(), 4);
        QTRY_COMPARE(g_pingsEnded.load(), 3); // the refused addresses
        CProjectionManager::instance(true);
        QCOMPARE(g_pingsEnded.load(), 4);
        QCOMPARE(g_answers, 0);
    }

    void stopBeforeAnythingWasAnnounced()
    {
        QSignalSpy stopped(&manager(), &CProjectionManager::projectStoped);
        QVERIFY(manager().stop());
        ticks(1);
        QCOMPARE(stopped.count(), 0);
        QVERIFY(m_library.calls.isEmpty());
    }

private:
    static CProjectionManager& manager() { return *CProjectionManager::instance(); }
    static QString scriptPath() { return TestEnvironment::root() + "/ping.json"; }
    // The stand-in ping answers this host, then takes hangMs before it exits.
    static void slowAnswer(const QString& host, int hangMs)
    {
        const QVariantMap document{
            {"hosts", QVariantMap{{host, QVariantMap{{"result", "ok"}, {"hangMs", hangMs}}}}}};
        QFile file(scriptPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument::fromVariant(document).toJson());
    }
    static void ticks(int count)
    {
        for (int i = 0; i < count; ++i) {
            manager().onStateTick();
        }
    }

    FakeLibrary m_library;
};

QTEST_GUILESS_MAIN(TestProjectionManager)
#include "tst_projectionmanager.moc"
