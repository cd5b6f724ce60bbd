#include "account/loginmanager.h"
#include "core/startup.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"
#include "ui/userphoto.h"
#include "ui/windowmain.h"

#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

// The main window following the real login manager against the local service:
// the photo and the system menu change with the sign-in state, and a forced
// sign-out shows its reason.
class TestWindowSignIn : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        TestEnvironment::isolate();
        setApplicationIdentity();
    }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }
    void init()
    {
        QVERIFY(AccountFixture::reset(*m_service));
        m_window = WindowMain::instance(false);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    void cleanup()
    {
        WindowMain::instance(true);
        CLoginManager::instance(true);
    }

    void photoAndMenuFollowTheSignIn()
    {
        auto* photo = m_window->findChild<CUserPhoto*>("label_photo");
        QVERIFY(photo);
        const QImage signedOut = photo->currentPhoto();
        QCOMPARE(menuEntries(), QStringList({"立即登录", "用户注册", "Vantelor官网", "检查更新"}));

        signIn();
        QTRY_VERIFY(photo->currentPhoto() != signedOut);
        QCOMPARE(menuEntries(),
                 QStringList({"个人信息", "修改密码", "退出登录", "Vantelor官网", "检查更新"}));

        CLoginManager::instance()->logout();
        QTRY_VERIFY(photo->currentPhoto() == signedOut);
        QCOMPARE(menuEntries().first(), QString("立即登录"));
    }

    void forcedSignOutShowsItsReason()
    {
        // The ticket renewal (every 5 ticks) meets the other sign-in.
        CLoginManager::setTicketTickForTesting(50);
        signIn();
        QVERIFY(m_service->kick("13800000001"));
        auto* tip = m_window->findChild<QLabel*>("tip_head");
        QVERIFY(tip);
        QTRY_COMPARE_WITH_TIMEOUT(tip->text(), QString("您的账号已在其他设备上登录!"), 10000);
        QVERIFY(!CLoginManager::instance()->isLoggedIn());
        CLoginManager::setTicketTickForTesting(0);
    }

private:
    void signIn()
    {
        QSignalSpy login(CLoginManager::instance().get(), &CLoginManager::signalLogin);
        CLoginManager::instance()->loginPswd("13800000001", "demo1234");
        QTRY_COMPARE_WITH_TIMEOUT(login.count(), 1, 10000);
    }
    QStringList menuEntries()
    {
        QMetaObject::invokeMethod(m_window, "onShowSystemMenu");
        QMenu* shown = nullptr;
        for (QMenu* menu : m_window->findChildren<QMenu*>()) {
            if (menu->isVisible()) {
                shown = menu;
            }
        }
        if (!shown) {
            return {};
        }
        QStringList entries;
        for (QAction* action : shown->actions()) {
            entries << action->text();
        }
        shown->hide();
        return entries;
    }

    std::unique_ptr<LocalServiceProcess> m_service;
    WindowMain* m_window = nullptr;
};

QTEST_MAIN(TestWindowSignIn)
#include "tst_windowsignin.moc"
