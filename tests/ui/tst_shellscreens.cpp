#include "core/netstatewathcer.h"
#include "dialogwaiter.h"
#include "platform/systemping.h"
#include "support/testenvironment.h"
#include "ui/dialoglogin.h"
#include "ui/dialogsetting.h"
#include "ui/fontsubstitution.h"
#include "ui/windowmain.h"

#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QtTest>

// Pictures of the shell as the user sees it, saved to build/screenshots for a
// look, and checked where the style sheets and artwork must show.
class TestShellScreens : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        // The network watcher pings the loopback host through the stand-in, so
        // the window shows no network-lost tip.
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        outDir = QStringLiteral(VANTELOR_BIN_DIR "/../screenshots");
        QVERIFY(QDir().mkpath(outDir));
        window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY(CNetStateWathcer::instance()->isNetOK());
        // Screenshots only: no event says the last repaint has landed.
        QTest::qWait(300);
    }

    void cleanupTestCase() { WindowMain::instance(true); }

    void mainWindow()
    {
        const QImage shot = save("main");
        const QPoint origin;
        QCOMPARE(shot.pixelColor(origin + QPoint(40, 580)), QColor(1, 149, 255));
        QCOMPARE(shot.pixelColor(origin + QPoint(600, 30)), QColor(250, 250, 250));
        // The side bar's shadow is even all the way down (partial repaints
        // of the blur may differ by a shade, not more); measured over the
        // plain window with the home page's picture out of the way.
        QWidget* home = window->findChild<QWidget*>("PageHome");
        QVERIFY(home);
        home->hide();
        const QImage plain = window->grab().toImage();
        home->show();
        for (int x = 82; x < 200; x += 4) {
            const int upper = plain.pixelColor(origin + QPoint(x, 300)).red();
            const int lower = plain.pixelColor(origin + QPoint(x, 520)).red();
            QVERIFY2(qAbs(upper - lower) <= 2,
                     qPrintable(QString("x %1: %2 vs %3").arg(x).arg(upper).arg(lower)));
        }
    }

    void systemMenu()
    {
        QVERIFY(QMetaObject::invokeMethod(window, "onShowSystemMenu"));
        auto* menu = window->findChild<QMenu*>("systemMenuSignedOut");
        QTRY_VERIFY(menu->isVisible());
        // Screenshots only: no event says the last repaint has landed.
        QTest::qWait(200);
        const QImage shot = save("menu", menu);
        const QPoint menuAt = menu->pos() - window->pos();
        QCOMPARE(shot.pixelColor(menuAt + QPoint(menu->width() - 4, 3)), QColor(250, 250, 250));
        menu->hide();
    }

    void settingsDialog_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("signed-out") << false;
        QTest::newRow("companies") << true;
    }

    void settingsDialog()
    {
        QFETCH(bool, signedIn);
        QImage shot;
        whenDialogOpen<DialogSetting>(window, [&](DialogSetting* dialog) {
            if (signedIn) {
                DialogSetting::UserInfo info;
                info.loggedIn = true;
                info.userName = QStringLiteral("张三");
                info.photo = QImage(QStringLiteral(":/wid/res/login/unLogin.png"));
                info.companyNames = QStringList{"星河科技", "远山设计有限公司", "云端"};
                dialog->showInfo(info);
            }
            // Screenshots only: no event says the last repaint has landed.
            QTest::qWait(300);
            shot = save(QStringLiteral("setting-") + QTest::currentDataTag());
            dialog->close();
        });
        window->onShowSettingDlg();
        QVERIFY(!shot.isNull());
        const QPoint origin;
        // Mask over the window, white dialog in the middle, action-coloured button.
        const QColor masked = shot.pixelColor(origin + QPoint(40, 580));
        QVERIFY2(masked.blue() > 120 && masked.blue() < 200, qPrintable(masked.name()));
        QCOMPARE(shot.pixelColor(origin + QPoint(235 + 20, 97 + 60)), QColor(Qt::white));
        QCOMPARE(shot.pixelColor(origin + QPoint(235 + 60, 97 + 320)), QColor(1, 149, 255));
    }

    void signInDialog()
    {
        QImage shot;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* dialog) {
            // Screenshots only: no event says the last repaint has landed.
            QTest::qWait(200);
            shot = save("login");
            dialog->close();
        });
        window->onShowLoginDlg();
        // White body, the chosen tab white and the other one grey.
        QCOMPARE(shot.pixelColor(250, 300), QColor(Qt::white));
        QCOMPARE(shot.pixelColor(300, 140), QColor(Qt::white));
        QCOMPARE(shot.pixelColor(620, 140), QColor(220, 220, 220));
    }

    void tips()
    {
        window->onShowTip(QStringLiteral("网络已断开,请连接网络"));
        window->onShowTipDlg();
        // Screenshots only: the tips slide in for a while; no event ends that.
        QTest::qWait(800);
        save("tips");
        window->clearTip();
    }

private:
    // The window with its child dialogs, and a popup laid over it where it
    // shows on the screen.
    QImage save(const QString& name, QWidget* popup = nullptr)
    {
        QImage shot = window->grab().toImage();
        if (popup) {
            QPainter painter(&shot);
            painter.drawPixmap(popup->pos() - window->pos(), popup->grab());
        }
        shot.save(outDir + "/" + name + ".png");
        return shot;
    }

    WindowMain* window = nullptr;
    QString outDir;
};

QTEST_MAIN(TestShellScreens)
#include "tst_shellscreens.moc"
