#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "core/cipher.h"
#include "core/localconfig.h"
#include "dialogwaiter.h"
#include "support/accountfixture.h"
#include "support/testenvironment.h"
#include "ui/dialoglogin.h"
#include "ui/userphoto.h"
#include "ui/windowmain.h"

#include <QDateTime>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QUrlQuery>
#include <QtTest>

// The main window following the real login manager against the local service:
// the photo and the system menu change with the sign-in state, and a forced
// sign-out shows its reason.
class TestWindowSignIn : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

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
        for (const QString& key : CLocalConfig::keys()) {
            CLocalConfig::instance()->remove(key);
        }
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

    // The remembered-password sign-in at start waits 2 s for its authorization
    // while the user opens the sign-in dialog, and signs in there as another
    // account or just waits and closes it. The record never pairs one
    // account's name with another's token, the account shown is the one whose
    // token the next ticket call carries, and nothing of the sign-in at start
    // is left to happen once the dialog has closed.
    void signInDialogOverTheWaitingAutoLogin_data()
    {
        QTest::addColumn<QString>("userSignsInAs");
        QTest::addColumn<QString>("shownAfter");
        QTest::newRow("signs in as another account")
            << QString(LocalServiceProcess::noCompanyPhone) << "王磊";
        QTest::newRow("waits and closes the dialog") << QString() << "未登录";
    }
    void signInDialogOverTheWaitingAutoLogin()
    {
        QFETCH(QString, userSignsInAs);
        QFETCH(QString, shownAfter);
        WindowMain::instance(true);
        CLoginManager::instance(true);
        rememberForAutoLogin(LocalServiceProcess::demoPhone);
        QVERIFY(m_service->setFault(
            {{"endpoint", "authCodeByPassword"}, {"mode", "delay"}, {"delayMs", 2000}, {"count", 1}}));

        // Every (name, token) the record holds, sampled all along.
        QSet<QPair<QString, QString>> held;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&held] {
            const auto& info = CLoginInfo::instance();
            if (!info->name.isEmpty() && !info->accessToken.isEmpty()) {
                held.insert({info->name, info->accessToken});
            }
        });
        sampler.start(2);

        bool autoLoginWaited = false;
        bool dialogClosed = false;
        int signInCallsAtClose = -1;
        m_window = WindowMain::instance(false);
        m_window->show();
        // From inside the wait of the sign-in at start, as the user would.
        QTimer::singleShot(300, m_window, [&] {
            autoLoginWaited = CLoginInfo::instance()->phone == LocalServiceProcess::demoPhone &&
                              m_service->requests("tokenFromAuthCode").isEmpty();
            whenDialogOpen<DialogLogin>(m_window, [&](DialogLogin* dialog) {
                if (userSignsInAs.isEmpty()) {
                    QTimer::singleShot(3000, dialog, &QDialog::close);
                    return;
                }
                auto* phone = dialog->findChild<QLineEdit*>("editPhone2");
                auto* password = dialog->findChild<QLineEdit*>("editPsw2");
                phone->clear();
                QTest::keyClicks(phone, userSignsInAs);
                password->clear();
                QTest::keyClicks(password, LocalServiceProcess::password);
                QTest::mouseClick(dialog->findChild<QPushButton*>("loginBtn2"), Qt::LeftButton);
            });
            m_window->onShowLoginDlg();
            dialogClosed = true;
            signInCallsAtClose = signInCalls();
        });
        QTRY_VERIFY_WITH_TIMEOUT(dialogClosed, 15000);
        QVERIFY(autoLoginWaited);
        // The delayed answer has come, and what it could set off has had its time.
        QTRY_VERIFY_WITH_TIMEOUT(
            m_service->requests("authCodeByPassword").first().toObject().value("status").toInt() == 200,
            10000);
        // Nothing marks the end of what the late answer could set off: a margin.
        QTest::qWait(1000);
        sampler.stop();
        const int signInCallsSettled = signInCalls();

        const auto& info = CLoginInfo::instance();
        if (!info->name.isEmpty() && !info->accessToken.isEmpty()) {
            held.insert({info->name, info->accessToken});
        }
        for (const auto& [name, token] : held) {
            QCOMPARE(AccountFixture::accountNameOfToken(*m_service, token), name);
        }
        QString shown;
        CLoginManager::instance()->userName(shown);
        QCOMPARE(shown, shownAfter);
        if (CLoginManager::instance()->isLoggedIn()) {
            const int tickets = m_service->requests("accessTicket").size();
            CLoginManager::instance()->getAcessTicket();
            QTRY_COMPARE(m_service->requests("accessTicket").size(), tickets + 1);
            const QUrlQuery sent(
                m_service->requests("accessTicket").last().toObject().value("body").toString());
            QCOMPARE(AccountFixture::accountNameOfToken(
                         *m_service, sent.queryItemValue("accessToken", QUrl::FullyDecoded)),
                     shown);
        }
        // Nothing of the sign-in at start waited for the dialog to close.
        QCOMPARE(signInCallsSettled, signInCallsAtClose);
    }

private:
    // The password remembered for phone, with the automatic sign-in chosen.
    static void rememberForAutoLogin(const QString& phone)
    {
        QString pswd;
        QVERIFY(CCipher::instance()->rsaEncryptBase64(LocalServiceProcess::password, pswd));
        const auto& config = CLocalConfig::instance();
        config->setValue(CLocalConfig::kAutoLogin, true);
        config->setValue(CLocalConfig::kRememberPswd, true);
        config->setEncryptedValue(CLocalConfig::kUserPhone1, phone);
        config->setEncryptedValue(CLocalConfig::kUserPswd, pswd);
        config->setEncryptedValue(CLocalConfig::kTime, QDateTime::currentDateTime().toString(Qt::ISODate));
    }
    int signInCalls()
    {
        int calls = 0;
        for (const char* endpoint :
             {"authCodeByPassword", "tokenFromAuthCode", "validateToken", "companyList", "personDetail"}) {
            calls += m_service->requests(endpoint).size();
        }
        return calls;
    }
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
