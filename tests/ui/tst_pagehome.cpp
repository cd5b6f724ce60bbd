#include "core/logmanager.h"
#include "core/netstatewathcer.h"
#include "core/singlenetworkmanger.h"
#include "mouse.h"
#include "shownlabeltext.h"
#include "support/localserviceprocess.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"
#include "ui/pagehome.h"
#include "ui/picslider.h"
#include "ui/windowbase.h"
#include "weather/weather.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct Day
{
    const char* weather;
    const char* dayTemp;
};

QByteArray weatherAnswer(const QString& city, const QList<Day>& days)
{
    QJsonArray casts;
    for (int i = 0; i < days.size(); ++i) {
        casts.append(QJsonObject{{"date", QDate::currentDate().addDays(i).toString("yyyy-MM-dd")},
                                 {"dayweather", QString::fromUtf8(days.at(i).weather)},
                                 {"nightweather", ""},
                                 {"daytemp", days.at(i).dayTemp},
                                 {"nighttemp", "1"}});
    }
    return QJsonDocument(
               QJsonObject{{"status", "1"},
                           {"forecasts", QJsonArray{QJsonObject{{"city", city}, {"casts", casts}}}}})
        .toJson();
}

const QString kInitialWeek = "<html><head/><body><p>--</p></body></html>";
const QString kInitialDegree =
    "<html><head/><body><p>--<span style=\" vertical-align:super;\">o</span>C</p></body></html>";
} // namespace

// The home page showing what the weather chain delivers.
class TestPageHome : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    std::unique_ptr<LocalServiceProcess> m_service;
    std::unique_ptr<QTemporaryDir> m_icons;

    void writeCache(const QByteArray& body)
    {
        QDir().mkpath(dataDirectory());
        QFile file(CWeather::cacheFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(body);
    }

    // Only the cache can deliver weather.
    void serviceDown()
    {
        QVERIFY(m_service->setFault({{"endpoint", "ipLocate"}, {"mode", "down"}}));
        QVERIFY(m_service->setFault({{"endpoint", "weather"}, {"mode", "down"}}));
    }

    static QLabel* label(QWidget& page, const char* name) { return page.findChild<QLabel*>(name); }

private slots:
    void initTestCase()
    {
        m_service = std::make_unique<LocalServiceProcess>();
        QVERIFY(m_service->start());
        QVERIFY(TestDeployment::useLocalService(quint16(m_service->port())));
    }

    void init()
    {
        QVERIFY(m_service->reset());
        QFile::remove(CWeather::cacheFilePath());
        // A copy of the icons a case may take files away from.
        m_icons = std::make_unique<QTemporaryDir>();
        const QDir shipped(TestEnvironment::binary("image/wea"));
        QVERIFY(!shipped.entryList(QDir::Files).isEmpty());
        for (const QString& name : shipped.entryList(QDir::Files)) {
            QVERIFY(QFile::copy(shipped.filePath(name), m_icons->filePath(name)));
        }
        CWeather::setIconDirectoryForTesting(m_icons->path());
    }

    void cleanup()
    {
        CWeather::instance(true);
        CNetStateWathcer::instance(true);
        CSingleNetworkManger::instance(true);
    }

    void serviceWeatherFillsTodayAndThreeDays()
    {
        PageHome page;
        QTRY_VERIFY_WITH_TIMEOUT(label(page, "wea_td_info")->text().contains("杭州"), 10000);
        const WeatherData& data = CWeather::instance()->weatherData();
        QCOMPARE(data.days.size(), 4);
        QVERIFY(label(page, "wea_td_info")->text().contains(QDate::currentDate().toString("yyyy/M/d")));
        QVERIFY(label(page, "wea_td_info")->text().contains(CWeather::weekDayName(data.days.first())));
        QVERIFY(label(page, "wea_td_degree")
                    ->text()
                    .contains(">" + CWeather::temperatureText(data.days.first()) + "<span"));
        QVERIFY(label(page, "wea_td_icon")->pixmap() && !label(page, "wea_td_icon")->pixmap()->isNull());
        for (int frame = 1; frame <= 3; ++frame) {
            const ForecastDay& day = data.days.at(frame);
            QCOMPARE(page.forecastWeekLabel(frame)->text(),
                     "<html><head/><body><p>" + CWeather::weekDayName(day) + "</p></body></html>");
            QVERIFY(page.forecastDegreeLabel(frame)->text().startsWith(
                "<html><head/><body><p>" + CWeather::temperatureText(day) + "<span"));
            QVERIFY(page.forecastIconLabel(frame)->pixmap() &&
                    !page.forecastIconLabel(frame)->pixmap()->isNull());
        }
        QVERIFY(page.findChild<QFrame*>("wea_frame4")->isHidden());
        QVERIFY(page.findChild<QFrame*>("frameNews")->isHidden());
        // Normal scale: 12 points for the forecast, 40 for today's temperature.
        QCOMPARE(page.forecastWeekLabel(1)->font().pointSize(), 12);
        QCOMPARE(page.forecastDegreeLabel(2)->font().pointSize(), 12);
        QCOMPARE(label(page, "wea_td_degree")->font().pointSize(), 40);
    }

    void oneDayFillsOnlyToday()
    {
        serviceDown();
        writeCache(weatherAnswer("宁波市", {{"晴", "23"}}));
        PageHome page;
        QCOMPARE(
            label(page, "wea_td_degree")->text(),
            QString(
                "<html><head/><body><p>23<span style=\" vertical-align:super;\">o</span></p></body></html>"));
        QVERIFY(label(page, "wea_td_info")->text().contains("宁波&nbsp;&nbsp;&nbsp;"));
        QVERIFY(label(page, "wea_td_icon")->pixmap() && !label(page, "wea_td_icon")->pixmap()->isNull());
        for (int frame = 1; frame <= 3; ++frame) {
            QCOMPARE(page.forecastWeekLabel(frame)->text(), kInitialWeek);
            QCOMPARE(page.forecastDegreeLabel(frame)->text(), kInitialDegree);
            QVERIFY(!page.forecastIconLabel(frame)->pixmap() ||
                    page.forecastIconLabel(frame)->pixmap()->isNull());
        }
        // The failing chain keeps the cached day on the page.
        QTRY_COMPARE_WITH_TIMEOUT(m_service->requests("ipLocate").size(), 2, 10000);
        // No further request is due: a margin in which a wrong one would land.
        QTest::qWait(200);
        QVERIFY(label(page, "wea_td_info")->text().contains("宁波"));
    }

    void markupInTheCityIsShownAsText()
    {
        serviceDown();
        writeCache(weatherAnswer(outsideMarkup(), {{"晴", "23"}}));
        PageHome page;
        QVERIFY2(shownText(label(page, "wea_td_info")).contains(outsideMarkup()),
                 qPrintable(label(page, "wea_td_info")->text()));
    }

    void missingIconKeepsThePreviousOne()
    {
        serviceDown();
        writeCache(weatherAnswer("宁波市", {{"晴", "23"}, {"小雨", "19"}}));
        PageHome page;
        const QImage today = label(page, "wea_td_icon")->pixmap()->toImage();
        const QImage first = page.forecastIconLabel(1)->pixmap()->toImage();
        QCOMPARE(today, QPixmap(m_icons->filePath("sunny.png")).toImage());

        QVERIFY(QFile::remove(m_icons->filePath("cloudy.png")));
        QVERIFY(QFile::remove(m_icons->filePath("haze.png")));
        writeCache(weatherAnswer("宁波市", {{"多云", "8"}, {"霾", "7"}}));
        QVERIFY(CWeather::instance()->loadLocalData());
        QVERIFY(label(page, "wea_td_degree")->text().contains(">8<span"));
        QVERIFY(page.forecastDegreeLabel(1)->text().contains(">7<span"));
        QCOMPARE(label(page, "wea_td_icon")->pixmap()->toImage(), today);
        QCOMPARE(page.forecastIconLabel(1)->pixmap()->toImage(), first);
    }

    void draggingTheWindowPausesTheSlider()
    {
        serviceDown();
        CWindowBase window;
        auto* page = new PageHome(&window);
        window.setCentralWidget(page);
        auto* slider = page->findChild<CPicSlider*>("news_pic");
        QVERIFY(slider);
        window.resize(900, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        slider->start();
        QVERIFY(slider->isTimerActive());

        // A real drag of the window: press, move, release.
        Mouse::press(&window, QPoint(200, 150));
        const QPoint start = window.mapToGlobal(QPoint(200, 150));
        QMouseEvent move(QEvent::MouseMove, QPointF(200, 150), QPointF(start + QPoint(30, 20)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QVERIFY(!slider->isTimerActive());
        Mouse::release(&window, QPoint(200, 150));
        QVERIFY(slider->isTimerActive());
    }

    void sliderMovesPausesAndWraps()
    {
        CPicSlider slider;
        slider.resize(300, 180);
        QList<QLabel*> pics;
        for (const char* title : {"一", "二", "三"}) {
            pics << new QLabel(QString::fromUtf8(title));
            slider.addPic(pics.last(), QString::fromUtf8(title));
        }
        auto* title = slider.findChild<QLabel*>("picTitle");
        QCOMPARE(title->text(), QString("一"));
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        QVERIFY(slider.isTimerActive());

        // A move paused half-way stays where it is until started again.
        slider.pause();
        QTest::mouseClick(slider.findChild<QPushButton*>("btnRight"), Qt::LeftButton);
        QCOMPARE(slider.currentIndex(), 1);
        QCOMPARE(title->text(), QString("二"));
        slider.pause();
        QVERIFY(slider.isAnimationPaused());
        const QPoint held = pics.at(1)->pos();
        // A paused animation sends nothing: a margin in which a running one would move.
        QTest::qWait(700);
        QCOMPARE(pics.at(1)->pos(), held);
        slider.start();
        QVERIFY(!slider.isAnimationPaused());
        QTRY_COMPARE(pics.at(1)->pos(), QPoint(0, 0));
        QTRY_VERIFY(pics.at(0)->isHidden());

        // The timer moves on by itself; back from the first picture wraps to the last.
        QTRY_COMPARE_WITH_TIMEOUT(slider.currentIndex(), 2, 3000);
        slider.pause();
        slider.reset();
        QCOMPARE(slider.currentIndex(), 0);
        QTest::mouseClick(slider.findChild<QPushButton*>("btnLeft"), Qt::LeftButton);
        QCOMPARE(slider.currentIndex(), 2);
        slider.hide();
        QVERIFY(!slider.isTimerActive());
    }
};

QTEST_MAIN(TestPageHome)
#include "tst_pagehome.moc"
