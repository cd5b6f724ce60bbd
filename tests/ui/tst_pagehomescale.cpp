#include "support/testdeployment.h"
#include "support/testenvironment.h"
#include "ui/pagehome.h"
#include "ui/screenscale.h"
#include "weather/weather.h"

#include <QLabel>
#include <QTcpServer>
#include <QtTest>

// The home page's fonts on a screen at 125 %; a process of its own because the
// screen scale is read once.
class TestPageHomeScale : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        TestEnvironment::isolateClient();
        qputenv("QT_FONT_DPI", "120");
    }

private slots:
    void fontsAt125Percent()
    {
        // The weather chain goes to a loopback port where nothing answers.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        QVERIFY(TestDeployment::useLocalService(port));

        QCOMPARE(systemDpiScale(), 1.25);
        PageHome page;
        for (int frame = 1; frame <= 4; ++frame) {
            QCOMPARE(page.forecastWeekLabel(frame)->font().pointSize(), 9);
            QCOMPARE(page.forecastDegreeLabel(frame)->font().pointSize(), 9);
        }
        QCOMPARE(page.findChild<QLabel*>("wea_td_degree")->font().pointSize(), 32);

        // Today's line uses the title and large sizes of this scale.
        QTRY_VERIFY_WITH_TIMEOUT(page.findChild<QLabel*>("wea_td_info")->text().contains("font-size:16pt"),
                                 10000);
        QVERIFY(page.findChild<QLabel*>("wea_td_info")->text().contains("font-size:10pt"));
        CWeather::instance(true);
    }
};

QTEST_MAIN(TestPageHomeScale)
#include "tst_pagehomescale.moc"
