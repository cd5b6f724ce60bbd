#include "account/loginmanager.h"
#include "core/netstatewathcer.h"
#include "dialogwaiter.h"
#include "platform/systemping.h"
#include "support/testenvironment.h"
#include "ui/dialogchangepassword.h"
#include "ui/dialoglogin.h"
#include "ui/fontsubstitution.h"
#include "ui/windowmain.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Pictures of the sign-in and change-password dialogs over the main window,
// page by page, saved to build/screenshots for a look.
class TestSignInScreens : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        outDir = QStringLiteral(VANTELOR_BIN_DIR "/../screenshots");
        QVERIFY(QDir().mkpath(outDir));
        window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_VERIFY(CNetStateWathcer::instance()->isNetOK());
    }

    void cleanupTestCase() { WindowMain::instance(true); }

    void passwordPage()
    {
        QImage shot;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* dialog) {
            QTest::keyClicks(dialog->findChild<QLineEdit*>("editPhone2"), "13800000001");
            QTest::keyClicks(dialog->findChild<QLineEdit*>("editPsw2"), "demo1234");
            emit CLoginManager::instance()->signalLogState("1200", "");
            // Screenshots only: no event says the last repaint has landed.
            QTest::qWait(200);
            shot = save("login-password");
            dialog->close();
        });
        window->onShowLoginDlg();
        QVERIFY(!shot.isNull());
        // The sign-in button in the action colour, the error line in its red.
        QCOMPARE(shot.pixelColor(237 + 130, 75 + 50 + 45 + 250), QColor(1, 149, 255));
        QVERIFY(hasColour(shot, QRect(237 + 126, 75 + 50 + 45 + 110, 230, 16), QColor(245, 106, 83)));
    }

    void codePage()
    {
        QImage shot;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* dialog) {
            QTest::mouseClick(dialog->findChild<QPushButton*>("authBtn"), Qt::LeftButton);
            QTest::keyClicks(dialog->findChild<QLineEdit*>("editPhone3"), "13800000001");
            QTest::keyClicks(dialog->findChild<QLineEdit*>("editPsw3"), "1234");
            QVERIFY(QMetaObject::invokeMethod(dialog, "startTimer"));
            // Screenshots only: no event says the last repaint has landed.
            QTest::qWait(200);
            shot = save("login-code");
            dialog->close();
        });
        window->onShowLoginDlg();
        QVERIFY(!shot.isNull());
        // Counting down: the code button grey; four digits: sign-in grey too.
        QCOMPARE(shot.pixelColor(237 + 275, 75 + 50 + 45 + 185), QColor(128, 128, 128));
        QCOMPARE(shot.pixelColor(237 + 120, 75 + 50 + 45 + 235), QColor(128, 128, 128));
    }

    void changePassword()
    {
        QImage input;
        QImage done;
        whenDialogOpen<DialogChangePassword>(window, [&](DialogChangePassword* dialog) {
            QTest::keyClicks(dialog->findChild<QLineEdit*>("editPswOld"), "demo1234");
            QTest::keyClicks(dialog->findChild<QLineEdit*>("editPsw1"), "newpass123");
            QTest::keyClicks(dialog->findChild<QLineEdit*>("editPsw2"), "newpass12");
            // Screenshots only: no event says the last repaint has landed.
            QTest::qWait(200);
            input = save("changepassword");
            QVERIFY(QMetaObject::invokeMethod(dialog, "showPage2"));
            // Screenshots only: no event says the last repaint has landed.
            QTest::qWait(200);
            done = save("changepassword-done");
            dialog->close();
        });
        window->onShowChangePswDlg();
        QVERIFY(!input.isNull() && !done.isNull());
        QCOMPARE(input.pixelColor(237 + 20, 75 + 50 + 100), QColor(Qt::white));
        QVERIFY(hasColour(input, QRect(237 + 126, 75 + 50 + 45 + 24, 230, 16), QColor(245, 106, 83)));
    }

private:
    QImage save(const QString& name)
    {
        QImage shot = window->grab().toImage();
        shot.save(outDir + "/" + name + ".png");
        return shot;
    }
    // Text in colour somewhere inside area (anti-aliasing blends the edges).
    static bool hasColour(const QImage& shot, const QRect& area, const QColor& colour)
    {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (shot.pixelColor(x, y) == colour) {
                    return true;
                }
            }
        }
        return false;
    }

    WindowMain* window = nullptr;
    QString outDir;
};

QTEST_MAIN(TestSignInScreens)
#include "tst_signinscreens.moc"
