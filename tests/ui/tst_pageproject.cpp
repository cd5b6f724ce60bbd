#include "conference/sharemanager.h"
#include "conference/standin.h"
#include "conference/tandemlinkproc.h"
#include "platform/systemping.h"
#include "projection/projectionmanager.h"
#include "projection/sharewrapper.h"
#include "support/childlookup.h"
#include "support/testenvironment.h"
#include "support/timerticks.h"
#include "support/xvfbserver.h"
#include "ui/fontsubstitution.h"
#include "ui/pageproject.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtTest>

// The projection page with the real router and managers: the stand-in receiver
// on a loopback address, the loopback-only ping and the stand-in conference
// process behind the share manager.
class TestPageProject : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        // The projection library captures this screen.
        QVERIFY(m_screen.start());
        m_screen.useForThisProcess();
    }

    void init()
    {
        Standin::reset();
        const quint32 octets = QRandomGenerator::global()->bounded(1u << 16, 1u << 24);
        m_address = QString("127.%1.%2.%3").arg(octets >> 16).arg((octets >> 8) & 0xff).arg(octets & 0xff);
        page = new PageProject;
        page->show();
        QApplication::setActiveWindow(page);
        QVERIFY(QTest::qWaitForWindowActive(page));
    }

    void cleanup()
    {
        // The page goes before the router it listens to.
        delete page;
        page = nullptr;
        CShareWrapper::instance(true);
        m_receiver.kill();
        m_receiver.waitForFinished();
    }

    void startsInSingleMode()
    {
        QCOMPARE(page->objectName(), QStringLiteral("PageProject"));
        QCOMPARE(page->windowTitle(), QStringLiteral("Form"));
        QCOMPARE(page->minimumSize(), QSize(820, 540));
        QVERIFY(page->isSingleMode());
        QCOMPARE(edit1()->placeholderText(), QStringLiteral("请输入投屏码"));
        QCOMPARE(startButton()->text(), QStringLiteral("开始投屏"));
        QVERIFY(!edit2()->isVisible());
        QVERIFY(!button("btn_minus")->isVisible());
        QCOMPARE(startButton()->pos(), QPoint(0, 130));
        QVERIFY(!startButton()->isEnabled());
        QVERIFY(edit1()->hasFocus());
        QVERIFY(!edit1()->testAttribute(Qt::WA_InputMethodEnabled));

        // Only letters and digits, at most five.
        QTest::keyClicks(edit1(), "a-b 1.2_c3d");
        QCOMPARE(edit1()->text(), QStringLiteral("ab12c"));
        QVERIFY(startButton()->isEnabled());
        QCOMPARE(startButton()->cursor().shape(), Qt::PointingHandCursor);
        edit1()->setText("ab1");
        QVERIFY(!startButton()->isEnabled());
        QCOMPARE(startButton()->cursor().shape(), Qt::ArrowCursor);
    }

    void addAndMinusSwitchTheMode()
    {
        QTest::mouseClick(button("btn_add"), Qt::LeftButton);
        QVERIFY(!page->isSingleMode());
        QVERIFY(edit2()->isVisible());
        QVERIFY(button("btn_minus")->isVisible());
        QCOMPARE(startButton()->pos(), QPoint(0, 190));
        QCOMPARE(label("tip_pro")->pos(), QPoint(0, 250));

        // Both fields must hold a code in dual mode.
        edit1()->setText("AB12");
        QVERIFY(!startButton()->isEnabled());
        edit2()->setText("CD345");
        QVERIFY(startButton()->isEnabled());

        // Leaving dual mode with the first field empty keeps the second code.
        edit1()->clear();
        QTest::mouseClick(button("btn_minus"), Qt::LeftButton);
        QVERIFY(page->isSingleMode());
        QCOMPARE(edit1()->text(), QStringLiteral("CD345"));
        QVERIFY(edit2()->text().isEmpty());
        QCOMPARE(startButton()->pos(), QPoint(0, 130));
        QVERIFY(startButton()->isEnabled());

        // The add button toggles back, too.
        QTest::mouseClick(button("btn_add"), Qt::LeftButton);
        QTest::mouseClick(button("btn_add"), Qt::LeftButton);
        QVERIFY(page->isSingleMode());
        QCOMPARE(edit1()->text(), QStringLiteral("CD345"));
    }

    void codeProjectsUntilStopped_data()
    {
        QTest::addColumn<QString>("stopBy");
        QTest::newRow("button") << "button";
        QTest::newRow("enter") << "enter";
        QTest::newRow("receiver") << "receiver";
    }
    void codeProjectsUntilStopped()
    {
        QFETCH(QString, stopBy);
        const QString code = startReceiver("accept");
        QCOMPARE(code.size(), 5);
        QTest::keyClicks(edit1(), code.toLower());
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QCOMPARE(startButton()->text(), QStringLiteral("正在连接..."));
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("停止投屏"), 8000);
        QVERIFY(m_output.contains("projection started"));
        QVERIFY(!edit1()->isEnabled());
        QVERIFY(!button("btn_add")->isEnabled());
        QVERIFY(startButton()->isEnabled());
        QVERIFY(startButton()->hasFocus());

        if (stopBy == "button") {
            QTest::mouseClick(startButton(), Qt::LeftButton);
        } else if (stopBy == "enter") {
            QTest::keyClick(startButton(), Qt::Key_Return);
        } else {
            m_receiver.write("stop\n");
        }
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("开始投屏"), 3000);
        QVERIFY(edit1()->isEnabled());
        QVERIFY(edit1()->hasFocus());
        QVERIFY(startButton()->isEnabled());
        QCOMPARE(edit1()->text(), code.toLower());
        if (stopBy != "receiver") {
            QTRY_VERIFY(m_output.contains("projection stopped by sender"));
        }
    }

    void dualModeSameCodeInBothCasesIsOneCode()
    {
        const QString code = startReceiver("accept");
        QTest::mouseClick(button("btn_add"), Qt::LeftButton);
        QTest::keyClicks(edit1(), code.toLower());
        QTest::keyClicks(edit2(), code);
        QSignalSpy errors(CShareWrapper::instance().get(), &CShareWrapper::shareError);
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("停止投屏"), 8000);
        QCOMPARE(m_output.count("projection started"), 1);
        QCOMPARE(CShareWrapper::instance()->state(), CShareWrapper::Running);
        QVERIFY(!CShareManager::instance()->isSharing());
        QVERIFY(Standin::received().isEmpty());
        QCOMPARE(errors.count(), 0);
    }

    void twoFourCharacterCodesStartNothing()
    {
        QTest::mouseClick(button("btn_add"), Qt::LeftButton);
        QTest::keyClicks(edit1(), "ab12");
        QTest::keyClicks(edit2(), "CD34");
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QCOMPARE(label("tip_pro")->text(), QStringLiteral("双屏投屏至少需要有一个5位投屏码"));
        QVERIFY(label("tip_pro")->isVisible());
        QVERIFY(!startButton()->isEnabled());
        QCOMPARE(startButton()->text(), QStringLiteral("开始投屏"));
        // Nothing must start: a margin in which a wrong start would show.
        QTest::qWait(500);
        QCOMPARE(CShareWrapper::instance()->state(), CShareWrapper::Idle);
        QVERIFY(!CShareWrapper::instance()->isSharing());
        QVERIFY(Standin::received().isEmpty());

        // A change of input clears the message and allows a new try.
        QTest::keyClick(edit2(), Qt::Key_Backspace);
        QTest::keyClicks(edit2(), "5");
        QVERIFY(label("tip_pro")->text().isEmpty());
        QVERIFY(startButton()->isEnabled());
    }

    void errorsShowTextOrPicture_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("errCode");
        QTest::addColumn<QString>("errMsg");
        QTest::addColumn<QString>("text");
        // A receiver that stays busy: the attempt ends by the time-out.
        QTest::newRow("code or VPN") << "busy" << QString() << QString() << QString();
        // The code names an address ending in 0.0.0.
        QTest::newRow("wrong code") << "00000" << QString() << QString() << "投屏码错误";
        QTest::newRow("no message") << QString() << "1" << QString() << "未知错误,错误码:1";
        QTest::newRow("message") << QString() << "81001"
                                 << "接收端已被占用"
                                 << "接收端已被占用";
    }
    void errorsShowTextOrPicture()
    {
        QFETCH(QString, code);
        QFETCH(QString, errCode);
        QFETCH(QString, errMsg);
        QFETCH(QString, text);
        QLabel* tip = label("tip_pro");
        QLabel* picture = label("tip2_pro");
        if (code == "busy") {
            QTest::keyClicks(edit1(), startReceiver("busy"));
            QTest::mouseClick(startButton(), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(picture->isVisible(), 10000);
        } else if (!code.isEmpty()) {
            QTest::keyClicks(edit1(), code);
            QTest::mouseClick(startButton(), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(tip->isVisible() && !tip->text().isEmpty(), 5000);
        } else {
            emit CShareWrapper::instance()->shareError(errCode, errMsg);
        }
        QCOMPARE(picture->isVisible(), text.isEmpty());
        QCOMPARE(tip->isVisible(), !text.isEmpty());
        if (!text.isEmpty()) {
            QCOMPARE(tip->text(), text);
        }
        QCOMPARE(startButton()->text(), QStringLiteral("开始投屏"));
        QVERIFY(edit1()->isEnabled());

        // A change of input clears both.
        edit1()->setText("ab12");
        QVERIFY(!picture->isVisible());
        QVERIFY(tip->text().isEmpty());
    }

    // A stop the conference process refuses leaves the share running: the
    // page says why and keeps its stop button for another try.
    void refusedStopKeepsTheStopButton()
    {
        Standin::set("FAIL", "sharestop");
        Standin::set("ERROR_CODE", "3022");
        Standin::set("ERROR_MSG", "接收端仍在投屏");
        QTest::keyClicks(edit1(), "ab12");
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("停止投屏"), 5000);

        QTest::mouseClick(startButton(), Qt::LeftButton);
        QLabel* tip = label("tip_pro");
        QTRY_VERIFY_WITH_TIMEOUT(tip->isVisible() && !tip->text().isEmpty(), 5000);
        QCOMPARE(tip->text(), QStringLiteral("接收端仍在投屏"));
        QCOMPARE(startButton()->text(), QStringLiteral("停止投屏"));
        QVERIFY(startButton()->isEnabled());
        QVERIFY(!edit1()->isEnabled());
        QVERIFY(CShareWrapper::instance()->isSharing());

        // Stopping again is sent to the process again.
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_COMPARE(Standin::received().size(), 3);
        QTRY_VERIFY(startButton()->isEnabled());
        QCOMPARE(startButton()->text(), QStringLiteral("停止投屏"));

        // The process ending does end the share.
        CTandemlinkProc::instance(true);
        QTRY_COMPARE(startButton()->text(), QStringLiteral("开始投屏"));
    }

    void enterMovesOnOrStarts_data()
    {
        QTest::addColumn<bool>("single");
        QTest::newRow("single") << true;
        QTest::newRow("dual") << false;
    }
    void enterMovesOnOrStarts()
    {
        QFETCH(bool, single);
        if (!single) {
            QTest::mouseClick(button("btn_add"), Qt::LeftButton);
            edit2()->setText("00000");
        }
        // A code that fails at once: starting shows on the page quickly.
        edit1()->setText("00000");
        edit1()->setFocus();
        edit1()->selectAll();
        QTest::keyClick(edit1(), Qt::Key_Enter);
        if (single) {
            QCOMPARE(startButton()->text(), QStringLiteral("正在连接..."));
            QTRY_COMPARE(label("tip_pro")->text(), QStringLiteral("投屏码错误"));
            return;
        }
        QVERIFY(edit2()->hasFocus());
        QVERIFY(!edit2()->hasSelectedText());
        QCOMPARE(startButton()->text(), QStringLiteral("开始投屏"));
        QCOMPARE(CShareWrapper::instance()->state(), CShareWrapper::Idle);

        // Enter in the second field starts.
        QTest::keyClick(edit2(), Qt::Key_Return);
        QCOMPARE(startButton()->text(), QStringLiteral("正在连接..."));
        QTRY_COMPARE(label("tip_pro")->text(), QStringLiteral("投屏码错误"));
    }

    void enterWithoutACodeDoesNothing()
    {
        edit1()->setText("ab1");
        QTest::keyClick(edit1(), Qt::Key_Return);
        QCOMPARE(startButton()->text(), QStringLiteral("开始投屏"));
        QCOMPARE(CShareWrapper::instance()->state(), CShareWrapper::Idle);
    }

    void stateTimerRunsWhileVisible()
    {
        TimerTicks counter(CProjectionManager::instance().get());
        QTRY_VERIFY(counter.count() >= 2);

        page->hide();
        // A tick already queued is delivered before the first period of a
        // timer of the same period ends; none comes after.
        QTimer period;
        period.start(CProjectionManager::kTickMs);
        QSignalSpy periods(&period, &QTimer::timeout);
        QVERIFY(periods.wait());
        const int hidden = counter.count();
        QTRY_COMPARE(periods.count(), 4);
        QCOMPARE(counter.count(), hidden);

        page->show();
        QTRY_VERIFY(counter.count() >= hidden + 2);
    }

    // A projection that ends while the page is hidden is announced once the
    // page is shown again.
    void stopWhileHiddenShowsOnReturn()
    {
        const QString code = startReceiver("accept");
        QTest::keyClicks(edit1(), code);
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("停止投屏"), 8000);
        page->hide();
        m_receiver.write("stop\n");
        // Five periods of the state timer, which stands still while the page is hidden.
        QTimer period;
        period.start(CProjectionManager::kTickMs);
        QSignalSpy periods(&period, &QTimer::timeout);
        QTRY_COMPARE(periods.count(), 5);
        QCOMPARE(startButton()->text(), QStringLiteral("停止投屏"));
        page->show();
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("开始投屏"), 3000);
    }

    // Share events reach a page the user is not looking at; the user's
    // typing elsewhere must keep its focus.
    void hiddenPageLeavesTheFocusAlone()
    {
        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        auto* stack = new QStackedWidget;
        auto* typing = new QLineEdit;
        stack->addWidget(typing);
        auto* hidden = new PageProject;
        stack->addWidget(hidden);
        layout->addWidget(stack);
        host.show();
        QApplication::setActiveWindow(&host);
        QVERIFY(QTest::qWaitForWindowActive(&host));
        typing->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), typing);

        for (const char* slot : {"onShareStarted", "onShareStoped"}) {
            QVERIFY(QMetaObject::invokeMethod(hidden, slot));
            QCOMPARE(QApplication::focusWidget(), typing);
        }
    }

private:
    template <class T> T* child(const char* name) const
    {
        return ChildLookup::required<T>(page, QLatin1String(name));
    }
    QLineEdit* edit1() const { return child<QLineEdit>("edit_code1"); }
    QLineEdit* edit2() const { return child<QLineEdit>("edit_code2"); }
    QPushButton* startButton() const { return child<QPushButton>("btn_start"); }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    QLabel* label(const char* name) const { return child<QLabel>(name); }

    QString startReceiver(const QString& mode)
    {
        m_output.clear();
        connect(
            &m_receiver, &QProcess::readyReadStandardOutput, this,
            [this] { m_output += QString::fromUtf8(m_receiver.readAllStandardOutput()); },
            Qt::UniqueConnection);
        m_receiver.start(TestEnvironment::binary("vantelor-receiver"),
                         {"--address", m_address, "--mode", mode});
        if (!QTest::qWaitFor([this] { return m_output.contains("listening on"); }, 5000)) {
            return QString();
        }
        return m_output.section("code: ", 1).section('\n', 0, 0).trimmed();
    }

    PageProject* page = nullptr;
    XvfbServer m_screen;
    QProcess m_receiver;
    QString m_output;
    QString m_address;
};

QTEST_MAIN(TestPageProject)
#include "tst_pageproject.moc"
