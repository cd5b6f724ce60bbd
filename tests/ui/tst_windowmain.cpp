#include "core/netstatewathcer.h"
#include "core/singlenetworkmanger.h"
#include "dialogwaiter.h"
#include "mouse.h"
#include "support/childlookup.h"
#include "support/testenvironment.h"
#include "ui/clickablewidget.h"
#include "ui/dialoglogin.h"
#include "ui/dialogsetting.h"
#include "ui/dialogsignup.h"
#include "ui/dialogtip.h"
#include "ui/fontsubstitution.h"
#include "ui/screenscale.h"
#include "ui/userphoto.h"
#include "ui/windowmain.h"
#include "weather/weather.h"

#include <QAction>
#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QNetworkReply>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QWebEngineView>
#include <QtTest>

namespace {
// Records the keys that reach the widgets it watches.
class KeyWitness : public QObject
{
public:
    QStringList keys;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            keys << watched->metaObject()->className() + QStringLiteral(" ") + watched->objectName();
        }
        return false;
    }
};

// What had started when the main window got its first paint.
class FirstPaintWitness : public QObject
{
public:
    bool painted = false;
    int webViews = -1;
    bool monitoring = true;
    int requests = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!painted && event->type() == QEvent::Paint && watched->objectName() == "WindowMain") {
            painted = true;
            webViews = watched->findChildren<QWebEngineView*>().size();
            monitoring = CNetStateWathcer::instance()->isMonitoring();
            requests = CSingleNetworkManger::instance()->manager()->findChildren<QNetworkReply*>().size();
        }
        return false;
    }
};
} // namespace

// The main window: its widget tree, pages, tips, dialogs over the mask and the
// system menu, for a user who is not signed in.
class TestWindowMain : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase() { installFontSubstitutions(); }

    void init()
    {
        window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void cleanup()
    {
        WindowMain::instance(true);
        window = nullptr;
    }

    // The first frame comes first: the web engine, the weather's requests and
    // the ping start only once the window has been painted, and then at once.
    void paintsBeforeTheWebEngineAndTheNetworkStart()
    {
        // Without what the window of init() may have started already.
        WindowMain::instance(true);
        CWeather::instance(true);
        CSingleNetworkManger::instance(true);
        FirstPaintWitness witness;
        qApp->installEventFilter(&witness);
        auto removeFilter = qScopeGuard([&] { qApp->removeEventFilter(&witness); });
        window = WindowMain::instance(false);
        window->show();
        QTRY_VERIFY(witness.painted);
        QCOMPARE(witness.webViews, 0);
        QVERIFY(!witness.monitoring);
        QCOMPARE(witness.requests, 0);

        QTRY_VERIFY(window->findChild<QWebEngineView*>("webViewOnPageMeeting"));
        QTRY_VERIFY(CNetStateWathcer::instance()->isMonitoring());
        // No service here: the chain ends with the default forecast.
        QTRY_VERIFY_WITH_TIMEOUT(!CWeather::instance()->weatherData().days.isEmpty(), 20000);
    }

    void startsOnHomeWithTheRightWidgets()
    {
        QCOMPARE(window->size(), QSize(900, 600));
        QCOMPARE(window->minimumSize(), QSize(900, 600));
        QCOMPARE(window->windowTitle(), QStringLiteral("Vantelor"));
        QVERIFY(!window->windowIcon().isNull());
        QVERIFY(button("btn_home")->isChecked());
        QVERIFY(!button("btn_more")->isVisible());
        QVERIFY(!button("btn_msg")->isVisible());
        QVERIFY(!tip()->isVisible());
        QVERIFY(!child<QFrame>("frameTools")->isVisible());
        QCOMPARE(button("btn_set")->toolTip(), QStringLiteral("设置"));
        QCOMPARE(button("btn_close")->toolTip(), QStringLiteral("关闭"));

        const QStringList pages = {"PageHome", "PageProject", "PagePrint", "PageMail", "PageMeeting"};
        QCOMPARE(stack()->count(), pages.size());
        for (int i = 0; i < pages.size(); ++i) {
            QCOMPARE(stack()->widget(i)->objectName(), pages.at(i));
        }
        QCOMPARE(stack()->currentIndex(), 0);

        // The side bar wears the action colour: the style sheet and artwork are in.
        const QImage shot = window->grab().toImage();
        QCOMPARE(shot.pixelColor(40, 590), QColor(1, 149, 255));
        QCOMPARE(shot.pixelColor(600, 30), QColor(250, 250, 250));
    }

    void pagesSwitchByButtonId_data()
    {
        QTest::addColumn<QString>("buttonName");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("page");
        QTest::newRow("project") << "btn_project" << 1 << "PageProject";
        QTest::newRow("print") << "btn_print" << 2 << "PagePrint";
        QTest::newRow("mail") << "btn_mail" << 3 << "PageMail";
        QTest::newRow("meeting") << "btn_meeting" << 4 << "PageMeeting";
        QTest::newRow("home") << "btn_home" << 0 << "PageHome";
    }

    void pagesSwitchByButtonId()
    {
        QFETCH(QString, buttonName);
        QFETCH(int, id);
        QFETCH(QString, page);
        if (id == 0) {
            QTest::mouseClick(button("btn_print"), Qt::LeftButton);
        }
        QPushButton* side = button(buttonName);
        QCOMPARE(window->findChild<QButtonGroup*>()->id(side), id);
        QTest::mouseClick(side, Qt::LeftButton);
        QVERIFY(side->isChecked());
        QCOMPARE(stack()->currentIndex(), id);
        QCOMPARE(stack()->currentWidget()->objectName(), page);
    }

    void resizeRelaysTheHead()
    {
        QSignalSpy resized(window, &WindowMain::windowResized);
        window->resize(1100, 700);
        QCOMPARE(resized.count(), 1);
        QCOMPARE(resized.first().first().toSize(), QSize(1100, 700));
        QCOMPARE(button("btn_set")->pos(), QPoint(975, 20));
        QCOMPARE(child<QLabel>("label_line")->pos(), QPoint(1000, 15));
        QCOMPARE(child<QLabel>("label_title")->pos(), QPoint(520, 0));
        QCOMPARE(child<QFrame>("frameSystemBtn")->pos(), QPoint(1010, 0));
        QCOMPARE(child<QFrame>("frameHead")->size(), QSize(1100, 60));
        QCOMPARE(child<QFrame>("frameSide")->size(), QSize(80, 700));
        QCOMPARE(stack()->size(), QSize(1020, 640));
        QCOMPARE(child<QFrame>("frameTools")->size(), QSize(440, 60));
    }

    void tipStaysOrClears()
    {
        window->onShowTip(QStringLiteral("正在同步"));
        QVERIFY(tip()->isVisible());
        QCOMPARE(tip()->text(), QStringLiteral("正在同步"));
        QCOMPARE(tip()->x(), 900 - 140 - tip()->width());
        QCOMPARE(tip()->y(), 17);
        // A tip without a time has no timer to wait for: a margin in which a wrong one would hide it.
        QTest::qWait(100);
        QVERIFY(tip()->isVisible());
        window->onShowTip(QString());
        QVERIFY(!tip()->isVisible());

        window->onShowTip(QStringLiteral("已保存"), 100);
        QVERIFY(tip()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!tip()->isVisible(), 2000);
        QVERIFY(tip()->text().isEmpty());
    }

    // The first tip's timer still clears whatever tip is shown when it fires.
    void replacedTipIsClearedByTheFirstTimer()
    {
        window->onShowTip(QStringLiteral("已保存"), 200);
        QVERIFY(QMetaObject::invokeMethod(window, "onNetState", Q_ARG(bool, false)));
        QCOMPARE(tip()->text(), QStringLiteral("网络已断开,请连接网络"));
        QVERIFY(tip()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!tip()->isVisible(), 2000);
    }

    void networkBackClearsTheTip()
    {
        QVERIFY(QMetaObject::invokeMethod(window, "onNetState", Q_ARG(bool, false)));
        QVERIFY(tip()->isVisible());
        QVERIFY(QMetaObject::invokeMethod(window, "onNetState", Q_ARG(bool, true)));
        QVERIFY(!tip()->isVisible());
        QVERIFY(tip()->text().isEmpty());
    }

    void forcedSignOutShowsTheReasonForFiveSeconds()
    {
        QCOMPARE(WindowMain::kForcedSignOutTipMs, 5000);
        // The same timer, shortened: the tip stays its whole time and then goes.
        constexpr int kShownMs = 400;
        WindowMain::setForcedSignOutTipForTesting(kShownMs);
        const QString reason = QStringLiteral("您的账号已在其他设备上登录!");
        QElapsedTimer shown;
        shown.start();
        window->onBeLogouted(reason);
        QCOMPARE(tip()->text(), reason);
        QVERIFY(tip()->isVisible());
        qint64 hiddenAfter = -1;
        QTRY_VERIFY_WITH_TIMEOUT((hiddenAfter = shown.elapsed(), !tip()->isVisible()), 5000);
        WindowMain::setForcedSignOutTipForTesting(0);
        QVERIFY2(hiddenAfter >= kShownMs, qPrintable(QString::number(hiddenAfter)));
    }

    void settingsDialogRunsOverTheMaskAndStaysCentred()
    {
        bool checked = false;
        whenDialogOpen<DialogSetting>(window, [&](DialogSetting* dialog) {
            QVERIFY(window->isMaskVisible());
            QCOMPARE(dialog->parentWidget(), window);
            QCOMPARE(dialog->pos(), QPoint((900 - 430) / 2, (600 - 406) / 2));
            window->resize(1000, 700);
            QCOMPARE(dialog->pos(), QPoint((1000 - 430) / 2, (700 - 406) / 2));
            QCOMPARE(window->grayMask()->geometry(), QRect(0, 0, 1000, 700));
            // The dialog lies over the mask.
            QWidget* atCentre = window->childAt(500, 350);
            QVERIFY(atCentre == dialog || dialog->isAncestorOf(atCentre));
            checked = true;
            dialog->close();
        });
        window->onShowSettingDlg();
        QVERIFY(checked);
        QVERIFY(!window->isMaskVisible());
        QVERIFY(window->findChildren<DialogSetting*>().isEmpty());
    }

    void signedOutSettingsButtonLeadsToSignIn()
    {
        bool loginOpened = false;
        whenDialogOpen<DialogSetting>(window, [&](DialogSetting* dialog) {
            auto* go = dialog->findChild<QPushButton*>("btn_set_set");
            QCOMPARE(go->text(), QStringLiteral("去登录"));
            whenDialogOpen<DialogLogin>(window, [&](DialogLogin* login) {
                loginOpened = true;
                QVERIFY(window->isMaskVisible());
                login->close();
            });
            QTest::mouseClick(go, Qt::LeftButton);
        });
        window->onShowSettingDlg();
        QTRY_VERIFY(loginOpened);
        QTRY_VERIFY(!window->isMaskVisible());
    }

    // Sign-up opened from the sign-in dialog runs inside its loop: the mask
    // stays until the outer dialog has returned.
    void nestedDialogsKeepTheMask()
    {
        bool signupSeen = false;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* login) {
            whenDialogOpen<DialogSignup>(window, [&](DialogSignup* signup) {
                signupSeen = true;
                QVERIFY(window->isMaskVisible());
                QVERIFY(!login->isVisible());
                signup->close();
            });
            QPushButton* toSignup = nullptr;
            for (QPushButton* b : login->findChildren<QPushButton*>()) {
                if (b->text() == QStringLiteral("用户注册")) {
                    toSignup = b;
                }
            }
            QVERIFY(toSignup);
            QTest::mouseClick(toSignup, Qt::LeftButton);
        });
        window->onShowLoginDlg();
        QVERIFY(signupSeen);
        QVERIFY(!window->isMaskVisible());
        QVERIFY(window->findChildren<QDialog*>().isEmpty());
    }

    // Every dialog is modal for the keyboard although it is a child of the
    // window: Tab cycles inside it, and keys it leaves reach nothing behind.
    void keyboardStaysInsideEachDialog_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<QString>("firstField");
        QTest::addColumn<QString>("lastField");
        QTest::newRow("sign-in") << QByteArray("onShowLoginDlg") << "editPhone2"
                                 << "editPsw2";
        QTest::newRow("registration") << QByteArray("onShowSignupDlg") << "editPhone11"
                                      << "editPsw11";
        QTest::newRow("find password") << QByteArray("onShowFindPswDlg") << "editPhone"
                                       << "editPsw2";
        QTest::newRow("change password") << QByteArray("onShowChangePswDlg") << "editPswOld"
                                         << "editPsw2";
        QTest::newRow("settings") << QByteArray("onShowSettingDlg") << "btn_set_set"
                                  << "btn_set_set";
    }
    void keyboardStaysInsideEachDialog()
    {
        QFETCH(QByteArray, slot);
        QFETCH(QString, firstField);
        QFETCH(QString, lastField);
        bool checked = false;
        QStringList focusOutside;
        KeyWitness behind;
        whenDialogOpen<QDialog>(window, [&](QDialog* dialog) {
            const auto closeDialog = qScopeGuard([dialog] { dialog->close(); });
            const auto inside = [dialog](QWidget* widget) {
                return widget == dialog || dialog->isAncestorOf(widget);
            };
            auto* first = dialog->findChild<QWidget*>(firstField);
            auto* last = dialog->findChild<QWidget*>(lastField);
            QVERIFY(first && last);
            first->setFocus();
            QCOMPARE(QApplication::focusWidget(), first);
            for (int i = 0; i < 30; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QWidget* focus = QApplication::focusWidget();
                if (!focus || !inside(focus)) {
                    focusOutside << (focus ? focus->objectName() : QStringLiteral("(none)"));
                    first->setFocus();
                }
            }

            last->setFocus();
            window->installEventFilter(&behind);
            for (QWidget* widget : window->findChildren<QWidget*>()) {
                if (!inside(widget)) {
                    widget->installEventFilter(&behind);
                }
            }
            for (const Qt::Key key : {Qt::Key_A, Qt::Key_1, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_F5,
                                      Qt::Key_Backspace, Qt::Key_Tab}) {
                QTest::keyClick(QApplication::focusWidget(), key);
            }
            checked = true;
        });
        QMetaObject::invokeMethod(window, slot.constData());
        QVERIFY(checked);
        QVERIFY2(behind.keys.isEmpty(), qPrintable(behind.keys.join(", ")));
        QVERIFY2(focusOutside.isEmpty(), qPrintable(focusOutside.join(", ")));
    }

    // Clicks that reach a widget behind the dialog (past the mask) do nothing.
    void clicksBehindADialogDoNothing()
    {
        bool checked = false;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* login) {
            const auto closeDialog = qScopeGuard([login] { login->close(); });
            QSignalSpy settings(button("btn_set"), &QPushButton::clicked);
            QTest::mouseClick(button("btn_set"), Qt::LeftButton);
            QTest::mouseClick(button("btn_project"), Qt::LeftButton);
            QCOMPARE(settings.count(), 0);
            QCOMPARE(stack()->currentIndex(), 0);
            // The dialog itself still takes clicks.
            QTest::mouseClick(login->findChild<QPushButton*>("authBtn"), Qt::LeftButton);
            QCOMPARE(login->findChild<QStackedWidget*>("stkwid")->currentIndex(), 2);
            checked = true;
        });
        window->onShowLoginDlg();
        QVERIFY(checked);
    }

    void escapeClosesADialog()
    {
        bool escaped = false;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* login) {
            escaped = true;
            // The key goes where the keyboard focus is: inside the dialog.
            QWidget* focus = login->focusWidget();
            QVERIFY(focus == login || login->isAncestorOf(focus));
            QTest::keyClick(focus, Qt::Key_Escape);
        });
        window->onShowLoginDlg();
        QVERIFY(escaped);
        QVERIFY(!window->isMaskVisible());
    }

    void photoClickSignedOutOpensSignIn()
    {
        bool opened = false;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* login) {
            opened = true;
            login->close();
        });
        auto* photo = window->findChild<CUserPhoto*>("label_photo");
        QVERIFY(!photo->currentPhoto().isNull());
        Mouse::press(photo, QPoint(20, 20));
        Mouse::release(photo, QPoint(20, 20));
        QVERIFY(opened);
    }

    void signedOutSystemMenu()
    {
        QVERIFY(QMetaObject::invokeMethod(window, "onShowSystemMenu"));
        auto* menu = window->findChild<QMenu*>("systemMenuSignedOut");
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(button("btn_set")->isChecked());
        QStringList entries;
        for (QAction* action : menu->actions()) {
            entries << action->text();
        }
        QCOMPARE(entries, (QStringList{"立即登录", "用户注册", "Vantelor官网", "检查更新"}));
        QCOMPARE(menu->font().pointSize(), fontPointSize(1));
        QPushButton* set = button("btn_set");
        const QPoint at = set->mapToGlobal(QPoint(0, 0));
        QCOMPARE(menu->pos(),
                 QPoint(at.x() - (menu->width() - set->width()) / 2, at.y() + set->width() * 3 / 2));

        auto* signedIn = window->findChild<QMenu*>("systemMenuSignedIn");
        QStringList signedInEntries;
        for (QAction* action : signedIn->actions()) {
            signedInEntries << action->text();
        }
        QCOMPARE(signedInEntries,
                 (QStringList{"个人信息", "修改密码", "退出登录", "Vantelor官网", "检查更新"}));

        bool opened = false;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* login) {
            opened = true;
            login->close();
        });
        menu->hide();
        QVERIFY(!set->isChecked());
        menu->actions().first()->trigger();
        QVERIFY(opened);
    }

    void maximiseAndRestore()
    {
        QPushButton* max = button("btn_max");
        QTest::mouseClick(max, Qt::LeftButton);
        QTRY_VERIFY(window->isMaximized());
        QVERIFY(max->isChecked());
        QTest::mouseClick(max, Qt::LeftButton);
        QTRY_VERIFY(!window->isMaximized());
        QVERIFY(!max->isChecked());
    }

    void toolsAreaFollowsThePages()
    {
        QVERIFY(QMetaObject::invokeMethod(window, "onShowToolsPage", Q_ARG(int, 0)));
        QVERIFY(child<QFrame>("frameTools")->isVisible());
        QCOMPARE(child<QStackedWidget>("stkTools")->currentIndex(), 0);
        QVERIFY(QMetaObject::invokeMethod(window, "onShowToolsPage", Q_ARG(int, -1)));
        QVERIFY(!child<QFrame>("frameTools")->isVisible());
    }

    void tipDialogSlidesInWithoutMask()
    {
        window->onShowTipDlg();
        auto* tipDialog = window->findChild<DialogTip*>();
        QVERIFY(tipDialog);
        QVERIFY(tipDialog->isVisible());
        QVERIFY(!window->isMaskVisible());
        QCOMPARE(tipDialog->displayTime(), 10000);
        QCOMPARE(tipDialog->findChild<QLabel*>("tip_tip")->text(), QStringLiteral("测试消息"));
        QTRY_COMPARE(tipDialog->pos(), QPoint((900 - 300) / 2, 10));
    }

    void closeButtonClosesTheWindow()
    {
        QTest::mouseClick(button("btn_close"), Qt::LeftButton);
        QVERIFY(!window->isVisible());
    }

private:
    template <class T> T* child(const char* name) const
    {
        return ChildLookup::required<T>(window, QLatin1String(name));
    }
    QPushButton* button(const QString& name) const { return child<QPushButton>(name.toLatin1().constData()); }
    QLabel* tip() const { return child<QLabel>("tip_head"); }
    QStackedWidget* stack() const { return child<QStackedWidget>("stkWid"); }

    WindowMain* window = nullptr;
};

QTEST_MAIN(TestWindowMain)
#include "tst_windowmain.moc"
