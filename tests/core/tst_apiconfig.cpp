#include "core/apiconfig.h"
#include "core/deployment.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"

#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

Q_DECLARE_METATYPE(CApiConfig::Slot)
Q_DECLARE_METATYPE(CDeployment::Entry)

// The service table and the other deployment values as the client decodes
// them, the deployment checks, the clock and the time offset.
class TestApiConfig : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    // These tests read the deployment built in, not the one isolation moved.
    void initTestCase() { CDeployment::restoreBuiltInForTesting(); }
    void cleanup()
    {
        CApiConfig::setCurrentTimeForTesting(0);
        CDeployment::restoreBuiltInForTesting();
    }

    void slotsDecodeFromTheBuiltInDeployment_data()
    {
        const QJsonObject service = TestDeployment::local().value("service").toObject();
        const QJsonObject paths = service.value("paths").toObject();
        const QString base = service.value("baseUrl").toString();
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("expected");
        const QList<QPair<int, QString>> rows = {
            {0, service.value("hmacSecret").toString()},
            {1, service.value("apiKey").toString()},
            {2, service.value("appCode").toString()},
            {3, service.value("keyVersion").toString()},
            {4, service.value("signatureVersionA").toString()},
            {5, service.value("signatureVersionB").toString()},
            {6, "25"},
            {7, base},
            {8, base + paths.value("authCodeByPassword").toString()},
            {9, base + paths.value("accessTicket").toString()},
            {10, base + paths.value("tokenFromAuthCode").toString()},
            {11, base + paths.value("validateToken").toString()},
            {12, ""},
            {13, base + paths.value("companyList").toString()},
            {14, ""},
            {15, base + paths.value("personDetail").toString()},
            {16, base + paths.value("logout").toString()},
            {17, base + paths.value("sendSmsCode").toString()},
            {18, base + paths.value("authCodeBySmsCode").toString()},
            {19, base + paths.value("preCreateAccount").toString()},
            {20, base + paths.value("joinInvitingCompany").toString()},
            {21, base + paths.value("resetPassword").toString()},
            {22, base + paths.value("changePassword").toString()},
            {23, ""},
            {24, ""},
            {25, base + paths.value("modifyProfile").toString()},
            {26, service.value("printInfoUrl").toString()},
            {27, service.value("printAppId").toString()},
            {28, service.value("contentType").toString()},
            {29, ""},
            {30, ""},
            {31, base + paths.value("conferenceConfig").toString()},
        };
        for (const auto& [slot, expected] : rows) {
            QTest::addRow("slot %d", slot) << slot << expected;
        }
    }
    void slotsDecodeFromTheBuiltInDeployment()
    {
        QFETCH(int, slot);
        QFETCH(QString, expected);
        QVERIFY(!expected.contains("undefined"));
        QCOMPARE(CApiConfig::instance()->slot(CApiConfig::Slot(slot)), expected);
    }

    void otherDeploymentValuesAreReachable_data()
    {
        const QJsonObject local = TestDeployment::local();
        auto at = [&](const QString& section, const QString& key) {
            return local.value(section).toObject().value(key).toString();
        };
        QTest::addColumn<CDeployment::Entry>("entry");
        QTest::addColumn<QString>("expected");
        QTest::newRow("rsa key") << CDeployment::RsaPublicKeyPem << at("service", "rsaPublicKeyPem");
        QTest::newRow("conference origin")
            << CDeployment::ConferenceWebOrigin << at("conference", "webOrigin");
        QTest::newRow("conference app id")
            << CDeployment::ConferenceDefaultAppId << at("conference", "defaultAppId");
        QTest::newRow("conference app key")
            << CDeployment::ConferenceDefaultAppKey << at("conference", "defaultAppKey");
        QTest::newRow("conference media server")
            << CDeployment::ConferenceMediaServer << at("conference", "mediaServer");
        QTest::newRow("office") << CDeployment::OfficeWebOrigin << at("office", "webOrigin");
        QTest::newRow("ip location") << CDeployment::WeatherIpLocateOrigin << at("weather", "ipLocateOrigin");
        QTest::newRow("weather") << CDeployment::WeatherOrigin << at("weather", "weatherOrigin");
        QTest::newRow("weather key") << CDeployment::WeatherApiKey << at("weather", "apiKey");
        QTest::newRow("collector") << CDeployment::AnalyticsCollectorOrigin
                                   << at("analytics", "collectorOrigin");
        QTest::newRow("analytics key") << CDeployment::AnalyticsAppKey << at("analytics", "appKey");
        QTest::newRow("download") << CDeployment::DownloadOrigin << at("download", "origin");
        QTest::newRow("update key") << CDeployment::UpdatePublicKeyPem
                                    << at("download", "updatePublicKeyPem");
        QTest::newRow("website") << CDeployment::Website << local.value("website").toString();
        QTest::newRow("ping host") << CDeployment::PingHost << at("network", "pingHost");
        QTest::newRow("ping program") << CDeployment::PingProgram << at("network", "pingProgram");
    }
    void otherDeploymentValuesAreReachable()
    {
        QFETCH(CDeployment::Entry, entry);
        QFETCH(QString, expected);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(CDeployment::value(entry), expected);
    }

    void testSeamMovesEveryOrigin()
    {
        QVERIFY(TestDeployment::useLocalService(23456));
        QCOMPARE(CApiConfig::instance()->slot(CApiConfig::UrlLogout),
                 QString("http://127.0.0.1:23456") + TestDeployment::local()
                                                         .value("service")
                                                         .toObject()
                                                         .value("paths")
                                                         .toObject()
                                                         .value("logout")
                                                         .toString());
        QCOMPARE(QUrl(CDeployment::value(CDeployment::OfficeWebOrigin)).port(), 23456);
        QCOMPARE(QUrl(CDeployment::value(CDeployment::WeatherOrigin)).port(), 23456);
        CDeployment::restoreBuiltInForTesting();
        QCOMPARE(QUrl(CApiConfig::instance()->slot(CApiConfig::BaseUrl)).port(), 18480);
    }

    void malformedDeploymentIsRefusedNamingTheKey_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonValue>("value"); // undefined: the key is removed
        QTest::addColumn<QString>("message");
        const QJsonValue removed(QJsonValue::Undefined);
        QTest::newRow("missing path")
            << "service.paths.logout" << removed << "deployment key \"service.paths.logout\" is missing";
        QTest::newRow("missing section") << "weather" << removed << "deployment key \"weather\" is missing";
        QTest::newRow("missing website") << "website" << removed << "deployment key \"website\" is missing";
        QTest::newRow("origin with path") << "office.webOrigin" << QJsonValue("http://127.0.0.1:1/x")
                                          << "\"office.webOrigin\" is malformed";
        QTest::newRow("origin without scheme")
            << "service.baseUrl" << QJsonValue("127.0.0.1:18480") << "\"service.baseUrl\" is malformed";
        QTest::newRow("origin port out of range")
            << "download.origin" << QJsonValue("https://a.example:70000")
            << "\"download.origin\" is malformed";
        QTest::newRow("path without slash") << "service.paths.companyList" << QJsonValue("api/companies")
                                            << "\"service.paths.companyList\" is malformed";
        QTest::newRow("website not a URL")
            << "website" << QJsonValue("www.example.com") << "\"website\" is malformed";
        QTest::newRow("empty secret")
            << "service.hmacSecret" << QJsonValue("") << "\"service.hmacSecret\" is malformed";
        QTest::newRow("non-ASCII key")
            << "weather.apiKey" << QJsonValue("钥匙") << "\"weather.apiKey\" is malformed";
        QTest::newRow("number") << "service.keyVersion" << QJsonValue(1)
                                << "\"service.keyVersion\" is malformed";
        QTest::newRow("broken key") << "service.rsaPublicKeyPem"
                                    << QJsonValue(
                                           "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n")
                                    << "\"service.rsaPublicKeyPem\" is malformed";
        QTest::newRow("weather key of other text")
            << "weather.apiKey" << QJsonValue("local-weather-key") << "\"weather.apiKey\" is malformed";
        QTest::newRow("weather key upper case")
            << "weather.apiKey" << QJsonValue("0123456789ABCDEF0123456789ABCDEF")
            << "\"weather.apiKey\" is malformed";
        QTest::newRow("weather key one short")
            << "weather.apiKey" << QJsonValue("0123456789abcdef0123456789abcde")
            << "\"weather.apiKey\" is malformed";
        QTest::newRow("analytics key of weather length")
            << "analytics.appKey" << QJsonValue("0123456789abcdef0123456789abcdef")
            << "\"analytics.appKey\" is malformed";
        QTest::newRow("analytics key not hexadecimal")
            << "analytics.appKey" << QJsonValue("0123456789abcdef0123456g")
            << "\"analytics.appKey\" is malformed";
        QTest::newRow("section not an object")
            << "network" << QJsonValue("127.0.0.1") << "\"network\" is malformed";
    }
    void malformedDeploymentIsRefusedNamingTheKey()
    {
        QFETCH(QString, path);
        QFETCH(QJsonValue, value);
        QFETCH(QString, message);
        const QJsonObject broken = changed(TestDeployment::local(23456), path.split('.'), value);

        QString error;
        QVERIFY(!CDeployment::loadForTesting(broken, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        // The deployment in force stays.
        QCOMPARE(QUrl(CApiConfig::instance()->slot(CApiConfig::BaseUrl)).port(), 18480);

        // The build step refuses the same file with the same words.
        QTemporaryDir dir;
        QFile file(dir.filePath("deployment.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(broken).toJson());
        file.close();
        QProcess tool;
        tool.start(TestEnvironment::binary("encipherdeployment"), {file.fileName(), dir.filePath("out.cpp")});
        QVERIFY(tool.waitForFinished(30000));
        QVERIFY(tool.exitCode() != 0);
        QVERIFY2(tool.readAllStandardError().contains(message.toUtf8()), qPrintable(message));
        QVERIFY(!QFile::exists(dir.filePath("out.cpp")));
    }

    void buildStepWritesNoPlainValue()
    {
        QTemporaryDir dir;
        QProcess tool;
        tool.start(TestEnvironment::binary("encipherdeployment"),
                   {QStringLiteral(VANTELOR_SOURCE_DIR) + "/config/local.json", dir.filePath("out.cpp")});
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitCode(), 0);
        QFile out(dir.filePath("out.cpp"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QByteArray source = out.readAll();
        for (const QByteArray& plain : {QByteArray("127.0.0.1"), QByteArray("18480"), QByteArray("/api/"),
                                        QByteArray("local-dev-hmac-secret"), QByteArray("PUBLIC KEY")}) {
            QVERIFY2(!source.contains(plain), plain.constData());
        }
    }

    void productionExampleUsesTheFixedSchemes_data()
    {
        QTest::addColumn<CDeployment::Entry>("entry");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<int>("port");
        QTest::newRow("office page") << CDeployment::OfficeWebOrigin << "https" << -1;
        QTest::newRow("ip location") << CDeployment::WeatherIpLocateOrigin << "https" << -1;
        QTest::newRow("web site") << CDeployment::Website << "https" << -1;
        QTest::newRow("driver download") << CDeployment::DownloadOrigin << "https" << -1;
        QTest::newRow("weather") << CDeployment::WeatherOrigin << "http" << -1;
        QTest::newRow("conference page") << CDeployment::ConferenceWebOrigin << "http" << -1;
        QTest::newRow("collector") << CDeployment::AnalyticsCollectorOrigin << "http" << 80;
    }
    void productionExampleUsesTheFixedSchemes()
    {
        QFETCH(CDeployment::Entry, entry);
        QFETCH(QString, scheme);
        QFETCH(int, port);
        QString error;
        QVERIFY2(CDeployment::loadForTesting(
                     QStringLiteral(VANTELOR_SOURCE_DIR) + "/config/example-production.json", &error),
                 qPrintable(error));
        const QUrl url(CDeployment::value(entry));
        QCOMPARE(url.scheme(), scheme);
        QCOMPARE(url.port(), port);
        QVERIFY(url.host().endsWith("example.com"));
    }

    void nonceHasTimeAndThreeDigits()
    {
        CApiConfig::setCurrentTimeForTesting(1600000000123);
        const QRegularExpression form("^16000000([1-9][0-9][0-9])$");
        int lowest = 1000;
        int highest = 0;
        for (int i = 0; i < 5000; ++i) {
            const QRegularExpressionMatch match = form.match(CApiConfig::instance()->nonce());
            QVERIFY(match.hasMatch());
            lowest = qMin(lowest, match.captured(1).toInt());
            highest = qMax(highest, match.captured(1).toInt());
        }
        QVERIFY(lowest >= 100 && lowest < 150);
        QVERIFY(highest <= 999 && highest > 950);
    }

    void nonceAndTimestampFollowTheRealClock()
    {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const QString nonce = CApiConfig::instance()->nonce();
        const QString timestamp = CApiConfig::instance()->timestamp();
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QCOMPARE(nonce.size(), 11);
        const qint64 timePart = nonce.left(8).toLongLong();
        QVERIFY(timePart >= before / 100000 && timePart <= after / 100000);
        QVERIFY(
            QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$").match(timestamp).hasMatch());
        const QDateTime parsed = QDateTime::fromString(timestamp, Qt::ISODate);
        QVERIFY(parsed.toMSecsSinceEpoch() >= before / 1000 * 1000 && parsed.toMSecsSinceEpoch() <= after);
    }

    void timeOffsetMovesTimestampAndNonceBack()
    {
        CApiConfig::setCurrentTimeForTesting(1600000000123); // 2020-09-13T12:26:40.123Z
        const auto& config = CApiConfig::instance();
        QCOMPARE(config->timestamp(), QString("2020-09-13T12:26:40Z"));
        QVERIFY(config->nonce().startsWith("16000000"));
        QVERIFY(config->setTimeOffset(QJsonObject{{"timeOffest", 60000}}));
        QCOMPARE(config->timeOffset(), qint64(60000));
        QCOMPARE(config->timestamp(), QString("2020-09-13T12:25:40Z"));
        QVERIFY(config->nonce().startsWith("15999999")); // from 1599999940123
    }

    void setTimeOffsetTakesOnlyNonZeroOffsets_data()
    {
        QTest::addColumn<QJsonObject>("answer");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<qint64>("offset");
        QTest::newRow("empty answer") << QJsonObject() << false << qint64(1000);
        QTest::newRow("no timeOffest") << QJsonObject{{"success", false}} << false << qint64(1000);
        QTest::newRow("zero") << QJsonObject{{"success", false}, {"timeOffest", 0}} << false << qint64(1000);
        QTest::newRow("ahead") << QJsonObject{{"timeOffest", 60000}} << true << qint64(60000);
        QTest::newRow("behind") << QJsonObject{{"timeOffest", -3600000}} << true << qint64(-3600000);
        QTest::newRow("beyond 32 bits")
            << QJsonObject{{"timeOffest", 5000000000.0}} << true << qint64(5000000000);
    }
    void setTimeOffsetTakesOnlyNonZeroOffsets()
    {
        QFETCH(QJsonObject, answer);
        QFETCH(bool, taken);
        QFETCH(qint64, offset);
        const auto& config = CApiConfig::instance();
        QVERIFY(config->setTimeOffset(QJsonObject{{"timeOffest", 1000}}));
        QCOMPARE(config->setTimeOffset(answer), taken);
        QCOMPARE(config->timeOffset(), offset);
    }

private:
    static QJsonObject changed(QJsonObject object, QStringList path, const QJsonValue& value)
    {
        const QString key = path.takeFirst();
        if (path.isEmpty()) {
            if (value.isUndefined()) {
                object.remove(key);
            } else {
                object.insert(key, value);
            }
        } else {
            object.insert(key, changed(object.value(key).toObject(), path, value));
        }
        return object;
    }
};

QTEST_GUILESS_MAIN(TestApiConfig)
#include "tst_apiconfig.moc"
