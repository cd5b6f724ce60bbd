#include "core/deployment.h"
#include "core/logmanager.h"
#include "core/netstatewathcer.h"
#include "core/singlenetworkmanger.h"
#include "support/localserviceprocess.h"
#include "support/misbehavingserver.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"
#include "weather/iplocate.h"
#include "weather/weather.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QUrl>
#include <QUrlQuery>
#include <QtTest>

namespace {
// A weather answer as the service sends it, first day given, four days.
QByteArray weatherAnswer(const QString& city, const QDate& first)
{
    QJsonArray casts;
    for (int i = 0; i < 4; ++i) {
        casts.append(QJsonObject{{"date", first.addDays(i).toString("yyyy-MM-dd")},
                                 {"dayweather", i == 0 ? "晴" : "小雨"},
                                 {"nightweather", "多云"},
                                 {"daytemp", QString::number(20 + i)},
                                 {"nighttemp", QString::number(10 + i)}});
    }
    const QJsonObject forecast{{"city", city}, {"casts", casts}};
    return QJsonDocument(QJsonObject{{"status", "1"}, {"forecasts", QJsonArray{forecast}}})
        .toJson(QJsonDocument::Compact);
}

// A loopback port that nothing listens on: requests there fail at once.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QString queryCity(const QJsonObject& request)
{
    const QUrl url(request.value("target").toString());
    return QUrlQuery(url).queryItemValue("city", QUrl::FullyDecoded);
}
} // namespace

// The weather chain against the local service: locating, forecast, cache,
// defaults and the presentation functions.
class TestWeather : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;

    CWeather* weather() { return CWeather::instance().get(); }

    // Both weather origins on a port where nothing answers.
    void useNoNetwork()
    {
        QJsonObject deployment = TestDeployment::local(quint16(m_service->port()));
        QJsonObject section = deployment.value("weather").toObject();
        const QString dead = QString("http://127.0.0.1:%1").arg(closedPort());
        section.insert("ipLocateOrigin", dead);
        section.insert("weatherOrigin", dead);
        deployment.insert("weather", section);
        QString error;
        QVERIFY2(CDeployment::loadForTesting(deployment, &error), qPrintable(error));
    }

    void writeCache(const QByteArray& body)
    {
        QDir().mkpath(dataDirectory());
        QFile file(CWeather::cacheFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(body);
    }

private slots:
    void initTestCase()
    {
        m_service = std::make_unique<LocalServiceProcess>();
        QVERIFY(m_service->start());
        CWeather::setIconDirectoryForTesting(TestEnvironment::binary("image/wea"));
    }

    void init()
    {
        QVERIFY(TestDeployment::useLocalService(quint16(m_service->port())));
        QVERIFY(m_service->reset());
        QFile::remove(CWeather::cacheFilePath());
    }

    void cleanup()
    {
        CSingleNetworkManger::setTimeLimitForTesting(0);
        CWeather::setClockForTesting(nullptr);
        CWeather::instance(true);
        CNetStateWathcer::instance(true);
        CSingleNetworkManger::instance(true);
    }

    void noNetworkNoCacheGivesDefault()
    {
        useNoNetwork();
        QSignalSpy ready(weather(), &CWeather::weaDataReady);
        QVERIFY(!weather()->loadLocalData());
        QCOMPARE(ready.count(), 0);
        QVERIFY(weather()->startLocate());
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);

        const WeatherData& data = weather()->weatherData();
        QCOMPARE(data.city, QString("深圳"));
        QCOMPARE(data.days.size(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(data.days.at(i).date.date(), QDate::currentDate().addDays(i));
            QCOMPARE(data.days.at(i).weather, QString("未知"));
            QCOMPARE(CWeather::temperatureText(data.days.at(i)), QString("--"));
        }
        QVERIFY(!weather()->isFresh());
        QVERIFY(!QFile::exists(CWeather::cacheFilePath()));
    }

    // The cache is shown at once; a failed forecast then keeps it.
    void cacheFromYesterdayShownWithoutYesterday()
    {
        const QByteArray cached = weatherAnswer("广州市", QDate::currentDate().addDays(-1));
        writeCache(cached);
        QVERIFY(m_service->setFault({{"endpoint", "ipLocate"}, {"mode", "down"}}));
        QVERIFY(m_service->setFault({{"endpoint", "weather"}, {"mode", "down"}}));

        QSignalSpy ready(weather(), &CWeather::weaDataReady);
        QVERIFY(weather()->loadLocalData());
        QCOMPARE(ready.count(), 1);
        QCOMPARE(weather()->weatherData().city, QString("广州"));
        QCOMPARE(weather()->weatherData().days.size(), 3);
        QCOMPARE(weather()->weatherData().days.first().date.date(), QDate::currentDate());
        QCOMPARE(weather()->weatherData().days.first().weather, QString("小雨"));

        // Locating fails twice; the default city does not replace held data.
        QVERIFY(weather()->startLocate());
        QTRY_COMPARE_WITH_TIMEOUT(m_service->requests("ipLocate").size(), 2, 10000);
        // A margin for a weather request that must not follow.
        QTest::qWait(300);
        QCOMPARE(m_service->requests("weather").size(), 0);
        QVERIFY(!weather()->isRequesting());
        QCOMPARE(ready.count(), 1);
        QCOMPARE(weather()->weatherData().city, QString("广州"));
        QCOMPARE(weather()->weatherData().days.size(), 3);
        QFile file(CWeather::cacheFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), cached);
    }

    void emptyCityArrayRetriesOnceThenDefault()
    {
        const QByteArray body = QJsonDocument(QJsonObject{{"status", "1"}, {"city", QJsonArray()}})
                                    .toJson(QJsonDocument::Compact);
        QVERIFY(m_service->setFault({{"endpoint", "ipLocate"}, {"mode", "raw"}, {"body", QString(body)}}));
        IPLocate locate;
        QSignalSpy city(&locate, &IPLocate::cityNameReady);
        QVERIFY(locate.startReq());
        QVERIFY(!locate.startReq()); // busy
        QTRY_COMPARE_WITH_TIMEOUT(city.count(), 1, 10000);
        QCOMPARE(city.first().at(0).toString(), QString("深圳市"));
        QCOMPARE(city.first().at(1).toBool(), true);
        QCOMPARE(m_service->requests("ipLocate").size(), 2);
        // A margin for a second city that must not follow.
        QTest::qWait(200);
        QCOMPARE(city.count(), 1);
    }

    // Default city asked for, "市" dropped from the answer's city, answer cached.
    void defaultCityForecastAndCache()
    {
        QVERIFY(m_service->setFault({{"endpoint", "ipLocate"}, {"mode", "empty"}}));
        QSignalSpy ready(weather(), &CWeather::weaDataReady);
        QVERIFY(weather()->startLocate());
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);
        QCOMPARE(queryCity(m_service->requests("weather").first().toObject()), QString("深圳市"));
        const WeatherData data = weather()->weatherData();
        QCOMPARE(data.city, QString("深圳"));
        QCOMPARE(data.days.size(), 4);
        QCOMPARE(data.updateTime, QDateTime(QDate::currentDate(), QTime(0, 0)));
        QVERIFY(weather()->isFresh());
        QVERIFY(!weather()->loadLocalData()); // fresh data is not replaced by the cache

        // The next start shows the same forecast from the cache.
        CWeather::instance(true);
        QSignalSpy again(weather(), &CWeather::weaDataReady);
        QVERIFY(weather()->loadLocalData());
        QCOMPARE(again.count(), 1);
        QCOMPARE(weather()->weatherData().city, data.city);
        QCOMPARE(weather()->weatherData().days.size(), 4);
        QCOMPARE(weather()->weatherData().days.last().weather, data.days.last().weather);
        QVERIFY(!weather()->isFresh());
    }

    void secondDefaultCityKeepsRealData()
    {
        QSignalSpy ready(weather(), &CWeather::weaDataReady);
        QVERIFY(weather()->startLocate());
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);
        QCOMPARE(weather()->weatherData().city, QString("杭州"));
        QTRY_VERIFY(!weather()->isRequesting());

        QVERIFY(QMetaObject::invokeMethod(weather(), "onCityNameOK", Q_ARG(QString, IPLocate::defaultCity()),
                                          Q_ARG(bool, true)));
        // The call would have started its request before returning.
        QVERIFY(!weather()->isRequesting());
        QCOMPARE(m_service->requests("weather").size(), 1);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(weather()->weatherData().city, QString("杭州"));
    }

    void answerThatIsNoForecastKeepsDefaultOrHeld()
    {
        QVERIFY(m_service->setFault({{"endpoint", "weather"}, {"mode", "nonJson"}}));
        QSignalSpy ready(weather(), &CWeather::weaDataReady);
        QVERIFY(weather()->startLocate());
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);
        QCOMPARE(weather()->weatherData().city, QString("深圳"));
        QCOMPARE(weather()->weatherData().days.first().weather, QString("未知"));
        QVERIFY(!QFile::exists(CWeather::cacheFilePath()));
    }

    // A service that takes the request and never answers ends at the time
    // limit in that request's failure path.
    void unansweredRequestEndsInItsDefault_data()
    {
        QTest::addColumn<QString>("silentOrigin");
        QTest::addColumn<int>("silentRequests");
        QTest::addColumn<bool>("defaultData");
        // Located twice, then the forecast of the default city.
        QTest::newRow("location") << "ipLocateOrigin" << 2 << false;
        QTest::newRow("forecast") << "weatherOrigin" << 1 << true;
    }

    void unansweredRequestEndsInItsDefault()
    {
        QFETCH(QString, silentOrigin);
        QFETCH(int, silentRequests);
        QFETCH(bool, defaultData);
        MisbehavingServer silent(MisbehavingServer::Silent);
        QVERIFY(silent.listen());
        QJsonObject deployment = TestDeployment::local(quint16(m_service->port()));
        QJsonObject section = deployment.value("weather").toObject();
        section.insert(silentOrigin, silent.origin());
        deployment.insert("weather", section);
        QString error;
        QVERIFY2(CDeployment::loadForTesting(deployment, &error), qPrintable(error));
        CSingleNetworkManger::setTimeLimitForTesting(500);

        QSignalSpy ready(weather(), &CWeather::weaDataReady);
        QVERIFY(weather()->startLocate());
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 15000);
        QCOMPARE(silent.requestCount(), silentRequests);
        QCOMPARE(weather()->weatherData().city, QString("深圳"));
        QCOMPARE(weather()->weatherData().days.first().weather == "未知", defaultData);
        if (!defaultData) {
            QCOMPARE(queryCity(m_service->requests("weather").first().toObject()), QString("深圳市"));
        }
        QVERIFY(!weather()->isRequesting());
    }

    // An answer that is a forecast without days replaces nothing.
    void forecastWithoutDaysKeepsHeldData_data()
    {
        QTest::addColumn<bool>("cacheHeld");
        QTest::newRow("cached forecast held") << true;
        QTest::newRow("nothing held") << false;
    }

    void forecastWithoutDaysKeepsHeldData()
    {
        QFETCH(bool, cacheHeld);
        const QByteArray cached = weatherAnswer("广州市", QDate::currentDate());
        if (cacheHeld) {
            writeCache(cached);
        }
        const QByteArray noDays =
            QJsonDocument(QJsonObject{{"status", "1"},
                                      {"forecasts",
                                       QJsonArray{QJsonObject{{"city", "杭州市"}, {"casts", QJsonArray()}}}}})
                .toJson(QJsonDocument::Compact);
        QVERIFY(m_service->setFault({{"endpoint", "weather"}, {"mode", "raw"}, {"body", QString(noDays)}}));

        QSignalSpy ready(weather(), &CWeather::weaDataReady);
        QCOMPARE(weather()->loadLocalData(), cacheHeld);
        QVERIFY(weather()->startLocate());
        QTRY_COMPARE_WITH_TIMEOUT(m_service->requests("weather").size(), 1, 10000);
        // The answer is read and judged in the same call that drops the reply.
        QTRY_VERIFY(!weather()->isRequesting());
        QVERIFY(!weather()->isFresh());
        if (cacheHeld) {
            QCOMPARE(ready.count(), 1);
            QCOMPARE(weather()->weatherData().city, QString("广州"));
            QCOMPARE(weather()->weatherData().days.size(), 4);
            QFile file(CWeather::cacheFilePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), cached);
        } else {
            QCOMPARE(ready.count(), 1);
            QCOMPARE(weather()->weatherData().city, QString("深圳"));
            QCOMPARE(weather()->weatherData().days.size(), 5);
            QCOMPARE(weather()->weatherData().days.first().weather, QString("未知"));
            QVERIFY(!QFile::exists(CWeather::cacheFilePath()));
        }
    }

    // A client left running past midnight fetches the new day's forecast.
    void forecastIsFetchedAgainWhenItsFirstDayHasPassed()
    {
        // The clock runs on from a day other than the real one, shortly before its end.
        const QDate day = QDate::currentDate().addDays(3);
        const qint64 offset = QDateTime::currentDateTime().msecsTo(QDateTime(day, QTime(23, 59, 58, 800)));
        CWeather::setClockForTesting([offset] { return QDateTime::currentDateTime().addMSecs(offset); });
        QVERIFY(m_service->setFault(
            {{"endpoint", "weather"}, {"mode", "raw"}, {"body", QString(weatherAnswer("杭州市", day))}}));

        QSignalSpy ready(weather(), &CWeather::weaDataReady);
        QVERIFY(weather()->startLocate());
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);
        QCOMPARE(weather()->weatherData().days.first().date.date(), day);
        QVERIFY(weather()->isFresh());
        QVERIFY(m_service->setFault({{"endpoint", "weather"},
                                     {"mode", "raw"},
                                     {"body", QString(weatherAnswer("杭州市", day.addDays(1)))}}));

        QTRY_COMPARE_WITH_TIMEOUT(m_service->requests("weather").size(), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!weather()->isRequesting(), 10000);
        QCOMPARE(weather()->weatherData().days.first().date.date(), day.addDays(1));
        QCOMPARE(weather()->weatherData().days.size(), 4);
        QVERIFY(weather()->isFresh());
        QCOMPARE(CWeather::now().date(), day.addDays(1));
    }

    void networkBackWhileStaleRunsChainAgain()
    {
        QVERIFY(m_service->setFault({{"endpoint", "weather"}, {"mode", "down"}}));
        QSignalSpy ready(weather(), &CWeather::weaDataReady);
        QVERIFY(weather()->startLocate());
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);
        QCOMPARE(weather()->weatherData().days.first().weather, QString("未知"));
        QVERIFY(!weather()->isFresh());
        QCOMPARE(m_service->requests("ipLocate").size(), 1);

        QVERIFY(m_service->clearFaults());
        CNetStateWathcer::instance()->onStateChange(false);
        QCOMPARE(m_service->requests("ipLocate").size(), 1);
        // One chain for the network's return, none for its loss: two locates in all.
        CNetStateWathcer::instance()->onStateChange(true);
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 2, 10000);
        QCOMPARE(m_service->requests("ipLocate").size(), 2);
        QCOMPARE(weather()->weatherData().city, QString("杭州"));
        QVERIFY(weather()->isFresh());

        // Fresh data: a later report of the network changes nothing.
        CNetStateWathcer::instance()->onStateChange(true);
        // A margin for a chain that must not start.
        QTest::qWait(200);
        QCOMPARE(m_service->requests("ipLocate").size(), 2);
    }

    void iconByPhrase_data()
    {
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<QString>("file");
        QTest::newRow("clear") << "晴"
                               << "sunny.png";
        QTest::newRow("cloudy") << "多云"
                                << "cloudy.png";
        QTest::newRow("overcast") << "阴"
                                  << "overcast.png";
        QTest::newRow("light to moderate rain") << "小雨-中雨"
                                                << "lightrain.png";
        QTest::newRow("moderate to heavy rain") << "中雨-大雨"
                                                << "moderaterain.png";
        QTest::newRow("extreme rainstorm") << "大暴雨-特大暴雨"
                                           << "moderaterain.png";
        QTest::newRow("sleet") << "雨夹雪"
                               << "lightrain.png";
        QTest::newRow("thundershower with hail") << "雷阵雨并伴有冰雹"
                                                 << "thunderstorm.png";
        QTest::newRow("blizzard") << "大雪-暴雪"
                                  << "lightsnow.png";
        QTest::newRow("mist") << "轻雾"
                              << "fogs.png";
        QTest::newRow("haze") << "霾"
                              << "haze.png";
        QTest::newRow("tornado") << "龙卷风"
                                 << "unknown.png";
        QTest::newRow("other text") << "晴转多云"
                                    << "unknown.png";
        QTest::newRow("empty") << ""
                               << "unknown.png";
    }

    void iconByPhrase()
    {
        QFETCH(QString, phrase);
        QFETCH(QString, file);
        const QString path = CWeather::iconPath(phrase);
        QCOMPARE(path, TestEnvironment::binary("image/wea") + "/" + file);
        QVERIFY2(!CWeather::iconPixmap(phrase).isNull(), qPrintable(path));
    }

    void temperatureText_data()
    {
        QTest::addColumn<QString>("dayTemp");
        QTest::addColumn<QString>("nightTemp");
        QTest::addColumn<QString>("text");
        QTest::newRow("day") << "27"
                             << "18"
                             << "27";
        QTest::newRow("only night") << ""
                                    << "18"
                                    << "18";
        QTest::newRow("below zero at night") << ""
                                             << "-3"
                                             << "-3";
        QTest::newRow("neither") << ""
                                 << ""
                                 << "--";
        QTest::newRow("not a number") << "warm"
                                      << "18"
                                      << "0";
    }

    void temperatureText()
    {
        QFETCH(QString, dayTemp);
        QFETCH(QString, nightTemp);
        QFETCH(QString, text);
        ForecastDay day;
        day.dayTemp = dayTemp;
        day.nightTemp = nightTemp;
        QCOMPARE(CWeather::temperatureText(day), text);
    }

    void weekDayName()
    {
        const QStringList names = {"周一", "周二", "周三", "周四", "周五", "周六", "周日"};
        const QDate monday(2024, 1, 1);
        for (int i = 0; i < 7; ++i) {
            ForecastDay day;
            day.date = QDateTime(monday.addDays(i), QTime(0, 0));
            QCOMPARE(CWeather::weekDayName(day), names.at(i));
        }
        QCOMPARE(CWeather::weekDayName(ForecastDay()), QString());
    }

    void parsingRefusesWhatIsNoForecast_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("status 0") << QByteArray(
            "{\"status\":\"0\",\"forecasts\":[{\"city\":\"杭州市\",\"casts\":[]}]}");
        QTest::newRow("status as number")
            << QByteArray("{\"status\":1,\"forecasts\":[{\"city\":\"杭州市\"}]}");
        QTest::newRow("city only 市") << QByteArray("{\"status\":\"1\",\"forecasts\":[{\"city\":\"市\"}]}");
        QTest::newRow("no forecasts") << QByteArray("{\"status\":\"1\"}");
        QTest::newRow("not JSON") << QByteArray("<html>502</html>");
    }

    void parsingRefusesWhatIsNoForecast()
    {
        QFETCH(QByteArray, body);
        WeatherData data;
        data.city = "kept";
        QVERIFY(!CWeather::parseWeather(body, false, data));
        QCOMPARE(data.city, QString("kept"));
    }

    void nightWeatherStandsInForEmptyDayWeather()
    {
        const QByteArray body =
            QJsonDocument(
                QJsonObject{
                    {"status", "1"},
                    {"forecasts",
                     QJsonArray{QJsonObject{
                         {"city", "杭州市"},
                         {"casts",
                          QJsonArray{QJsonObject{{"date", QDate::currentDate().toString("yyyy-MM-dd")},
                                                 {"dayweather", ""},
                                                 {"nightweather", "雾"},
                                                 {"nighttemp", "4"}},
                                     QJsonObject()}}}}}})
                .toJson();
        WeatherData data;
        QVERIFY(CWeather::parseWeather(body, false, data));
        QCOMPARE(data.days.size(), 1);
        QCOMPARE(data.days.first().weather, QString("雾"));
        QCOMPARE(CWeather::temperatureText(data.days.first()), QString("4"));
    }
};

QTEST_MAIN(TestWeather)
#include "tst_weather.moc"
