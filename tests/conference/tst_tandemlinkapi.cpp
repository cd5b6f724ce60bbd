#include "conference/meetingmanager.h"
#include "conference/sharemanager.h"
#include "conference/tandemlinkapi.h"
#include "conference/tandemlinkproc.h"
#include "core/apiconfig.h"
#include "core/deployment.h"
#include "standin.h"
#include "support/localserviceprocess.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

// The conference configuration fetched from the real local service.
class TestTandemlinkApi : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    LocalServiceProcess m_service;
    QString m_defaultId;
    QString m_defaultKey;
    const QString m_serviceId = "vantelor-local-meeting";
    const QString m_serviceKey = "9f4c2e7a1b3d5f6081a2c3d4e5f60718293a4b5c6d7e8f9012a3b4c5d6e7f809";

    QJsonArray configRequests() { return m_service.requests("conferenceConfig"); }

    static QString json(const QJsonObject& object)
    {
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }

    // A fault that answers with this envelope as it is.
    static QJsonObject raw(const QJsonObject& envelope)
    {
        return {{"mode", "raw"}, {"status", 200}, {"body", json(envelope)}};
    }

    static bool issue(const QString& kind, int number)
    {
        if (kind == "conference") {
            return CMeetingManager::instance()->startMeeting({QString("c-%1").arg(number), "m-1", "name"});
        }
        return CShareManager::instance()->start({number == 1 ? "AB12" : "CD34"});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_service.start());
        QVERIFY(TestDeployment::useLocalService(m_service.port()));
        const QJsonObject conference = TestDeployment::local().value("conference").toObject();
        m_defaultId = conference.value("defaultAppId").toString();
        m_defaultKey = conference.value("defaultAppKey").toString();
        QVERIFY(!m_defaultId.isEmpty() && m_defaultId != m_serviceId);
    }

    void init()
    {
        QVERIFY(m_service.reset());
        CTandemlinkAPI::instance(true);
        CApiConfig::instance(true); // no clock offset carried over
    }

    void cleanup()
    {
        CShareManager::instance(true);
        CMeetingManager::instance(true);
        CTandemlinkProc::instance(true);
        CTandemlinkAPI::instance(true);
    }

    void cleanupTestCase() { CDeployment::restoreBuiltInForTesting(); }

    void startsWithTheDeploymentDefaults()
    {
        CTandemlinkAPI& api = *CTandemlinkAPI::instance();
        QVERIFY(!api.isLoaded());
        QCOMPARE(api.clientAppKey(), m_defaultKey);
        QCOMPARE(configRequests().size(), 0);
    }

    void fetch_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<int>("requests");

        QTest::newRow("service's values") << QJsonObject() << true << 1;
        QTest::newRow("content without clientAppKey")
            << raw({{"success", true}, {"content", json({{"clientAppId", "other-app"}})}}) << false << 1;
        QTest::newRow("content not JSON")
            << raw({{"success", true}, {"content", "vcAppConfig"}}) << false << 1;
        QTest::newRow("refused with both values")
            << raw({{"success", false},
                    {"errorCode", "1400"},
                    {"errorMsg", "配置项不存在"},
                    {"content", json({{"clientAppId", "a"}, {"clientAppKey", "k"}})}})
            << false << 1;
        QTest::newRow("failure") << QJsonObject{{"mode", "fail"},
                                                {"errorCode", "1400"},
                                                {"errorMsg", "配置项不存在"}}
                                 << false << 1;
        QTest::newRow("service down") << QJsonObject{{"mode", "down"}} << false << 1;
        QTest::newRow("clock off once: one more try")
            << QJsonObject{{"mode", "timeOffset"}, {"timeOffest", 60000}, {"count", 1}} << true << 2;
        QTest::newRow("clock off every time: one more try only")
            << QJsonObject{{"mode", "timeOffset"}, {"timeOffest", 60000}} << false << 2;
        QTest::newRow("zero offset: no retry")
            << QJsonObject{{"mode", "timeOffset"}, {"timeOffest", 0}, {"count", 1}} << false << 1;
    }

    void fetch()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(bool, loaded);
        QFETCH(int, requests);
        if (!fault.isEmpty()) {
            fault.insert("endpoint", "conferenceConfig");
            QVERIFY(m_service.setFault(fault));
        }
        CTandemlinkAPI& api = *CTandemlinkAPI::instance();
        QCOMPARE(api.clientAppId(), loaded ? m_serviceId : m_defaultId);
        QCOMPARE(api.clientAppKey(), loaded ? m_serviceKey : m_defaultKey);
        QCOMPARE(api.isLoaded(), loaded);

        const QJsonArray sent = configRequests();
        QCOMPARE(sent.size(), requests);
        for (const QJsonValue& request : sent) {
            QCOMPARE(request.toObject().value("body").toString(), QString("configKey=vcAppConfig"));
        }
        if (loaded) {
            QVERIFY2(!sent.last().toObject().value("outcome").toString().contains("fault"),
                     qPrintable(sent.last().toObject().value("outcome").toString()));
        }

        // A loaded configuration is kept; a failed fetch is tried again on the next use.
        QVERIFY(m_service.clearFaults());
        QCOMPARE(api.clientAppId(), m_serviceId);
        QCOMPARE(api.clientAppKey(), m_serviceKey);
        QCOMPARE(configRequests().size(), requests + (loaded ? 0 : 1));
    }

    void commandsDuringTheFetch_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("conference, then conference") << "conference"
                                                     << "conference";
        QTest::newRow("conference, then share") << "conference"
                                                << "share";
        QTest::newRow("share, then conference") << "share"
                                                << "conference";
        QTest::newRow("share, then share") << "share"
                                           << "share";
    }

    // The first command waits for a slow configuration; a second one 100 ms
    // later is refused as "waiting": one fetch, one process, one command.
    void commandsDuringTheFetch()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        Standin::reset();
        QVERIFY(m_service.setFault(
            {{"endpoint", "conferenceConfig"}, {"mode", "delay"}, {"delayMs", 1000}, {"count", 1}}));
        bool secondIssued = false;
        bool secondAccepted = false;
        QTimer::singleShot(100, this, [&] {
            secondIssued = true;
            secondAccepted = issue(second, 2);
        });
        QVERIFY(issue(first, 1));
        QVERIFY(secondIssued);
        QVERIFY(!secondAccepted);
        if (second == "conference") {
            QCOMPARE(CMeetingManager::instance()->errCode(), QString("102"));
        }

        QTRY_VERIFY(first == "conference" ? CMeetingManager::instance()->isInMeeting()
                                          : CShareManager::instance()->isSharing());
        QCOMPARE(CMeetingManager::instance()->conferenceUuid(), QString(first == "conference" ? "c-1" : ""));
        // One process and one command: a margin for a second of either.
        QTest::qWait(300);
        QCOMPARE(Standin::pids().size(), 1);
        const QList<QJsonObject> sent = Standin::received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).value("operation").toString(),
                 QString(first == "conference" ? "conferencestart" : "sharestart"));
        QCOMPARE(sent.at(0).value("clientappid").toString(), m_serviceId);
        QCOMPARE(configRequests().size(), 1);
    }

    // A service that does not answer within the time limit leaves the defaults.
    void unansweredFetch()
    {
        QVERIFY(m_service.setFault(
            {{"endpoint", "conferenceConfig"}, {"mode", "delay"}, {"delayMs", 4500}, {"count", 1}}));
        CTandemlinkAPI& api = *CTandemlinkAPI::instance();
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(api.clientAppId(), m_defaultId);
        QVERIFY(timer.elapsed() < 4500);
        QVERIFY(!api.isLoaded());
    }
};

QTEST_GUILESS_MAIN(TestTandemlinkApi)
#include "tst_tandemlinkapi.moc"
