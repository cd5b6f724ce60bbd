#include "support/testenvironment.h"
#include "ui/codecountdown.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestCodeCountdown : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private:
    static void tick(CCodeCountdown& countdown)
    {
        QTimerEvent event(countdown.timerId());
        QCoreApplication::sendEvent(&countdown, &event);
    }
    static QString retry(int seconds) { return QStringLiteral("%1s后重试").arg(seconds); }

private slots:
    void countsDownAndEnds_data()
    {
        QTest::addColumn<CCodeCountdown::Style>("style");
        QTest::addColumn<QStringList>("shownOnTicks");
        QStringList signIn;
        for (int s = 59; s >= 1; --s)
            signIn << retry(s);
        QStringList registration{retry(60)};
        registration << signIn;
        QTest::newRow("sign-in: ends at the 60th tick")
            << CCodeCountdown::Style::EndsAtSixtiethTick << signIn;
        QTest::newRow("registration: 60 twice, ends at the 61st tick")
            << CCodeCountdown::Style::RepeatsFirstValue << registration;
    }

    void countsDownAndEnds()
    {
        QFETCH(CCodeCountdown::Style, style);
        QFETCH(QStringList, shownOnTicks);
        QPushButton button(QStringLiteral("获取验证码"));
        CCodeCountdown countdown(&button, style, nullptr);
        QSignalSpy stopped(&countdown, &CCodeCountdown::signalStopped);

        countdown.start();
        QVERIFY(countdown.isRunning());
        QCOMPARE(button.text(), retry(60));
        QVERIFY(!button.isEnabled());
        QCOMPARE(button.cursor().shape(), Qt::ArrowCursor);

        for (const QString& expected : shownOnTicks) {
            tick(countdown);
            QCOMPARE(button.text(), expected);
            QVERIFY(!button.isEnabled());
        }
        QCOMPARE(stopped.count(), 0);
        tick(countdown);
        QVERIFY(!countdown.isRunning());
        QCOMPARE(countdown.countdown(), CCodeCountdown::kSeconds);
        QCOMPARE(button.text(), QStringLiteral("获取验证码"));
        QCOMPARE(stopped.count(), 1);
    }

    void startWhileRunningKeepsTheCount()
    {
        QPushButton button;
        CCodeCountdown countdown(&button, CCodeCountdown::Style::EndsAtSixtiethTick, nullptr);
        countdown.start();
        const int id = countdown.timerId();
        tick(countdown);
        tick(countdown);
        countdown.start();
        QCOMPARE(countdown.timerId(), id);
        QCOMPARE(button.text(), retry(58));
    }

    void stopEndsOnceAndAllowsARestart()
    {
        QPushButton button;
        CCodeCountdown countdown(&button, CCodeCountdown::Style::RepeatsFirstValue, nullptr);
        QSignalSpy stopped(&countdown, &CCodeCountdown::signalStopped);
        countdown.stop();
        QCOMPARE(stopped.count(), 0);

        countdown.start();
        tick(countdown);
        tick(countdown);
        countdown.stop();
        countdown.stop();
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(button.text(), QStringLiteral("获取验证码"));

        countdown.start();
        QCOMPARE(button.text(), retry(60));
        QVERIFY(countdown.isRunning());
    }

    void foreignTimerEventsAreIgnored()
    {
        QPushButton button;
        CCodeCountdown countdown(&button, CCodeCountdown::Style::EndsAtSixtiethTick, nullptr);
        countdown.start();
        QTimerEvent other(countdown.timerId() + 1000);
        QCoreApplication::sendEvent(&countdown, &other);
        QCOMPARE(button.text(), retry(60));
    }
};

QTEST_MAIN(TestCodeCountdown)
#include "tst_codecountdown.moc"
