#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "core/cipher.h"
#include "core/localconfig.h"
#include "shownlabeltext.h"
#include "support/accountfixture.h"
#include "support/childlookup.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"
#include "ui/codecountdown.h"
#include "ui/dialoglogin.h"
#include "ui/screenscale.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFrame>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>
#include <QUrlQuery>
#include <QtTest>

// The sign-in dialog typed into like a user, with the real login manager
// signing in at the local service.
class TestDialogLogin : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }
    void init()
    {
        QVERIFY(AccountFixture::reset(*m_service));
        for (const QString& key : CLocalConfig::keys()) {
            config().remove(key);
        }
        // Created before any remembered settings exist: no auto-login here.
        CLoginManager::instance();
        m_parent = std::make_unique<QWidget>();
        m_parent->resize(900, 600);
        m_parent->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_parent.get()));
    }
    void cleanup()
    {
        m_parent.reset();
        CLoginManager::instance(true);
    }

    void layoutTextsAndFonts()
    {
        DialogLogin* dialog = open();
        QCOMPARE(dialog->size(), QSize(426, 450));
        QCOMPARE(dialog->pos(), QPoint(237, 75));
        QCOMPARE(dialog->windowTitle(), QString("登录Vantelor"));
        QCOMPARE(stack(dialog)->currentIndex(), 1);
        QVERIFY(button(dialog, "pswdBtn")->isChecked());
        QCOMPARE(button(dialog, "scanBtn")->width(), 0);
        QCOMPARE(child<QFrame>(dialog, "frameContent")->geometry(), QRect(0, 50, 426, 400));
        QCOMPARE(edit(dialog, "editPsw3")->geometry(), QRect(116, 180, 150, 40));
        QCOMPARE(edit(dialog, "editPsw3")->placeholderText(), QString("请输入6位验证码"));
        QCOMPARE(edit(dialog, "editPsw2")->echoMode(), QLineEdit::Password);
        QCOMPARE(button(dialog, "loginBtn2")->text(), QString("登 录"));
        QCOMPARE(button(dialog, "codeBtn3")->text(), QString("获取验证码"));
        QCOMPARE(child<QCheckBox>(dialog, "checkBoxAutoLogin")->toolTip(),
                 QString("记住密码并选中此项后,下次启动Vantelor会自动进行登录"));
        QVERIFY(button(dialog, "regBtn3")->isHidden());
        QVERIFY(child<QLabel>(dialog, "labelTip1_1")->isHidden());
        for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        }
        for (const char* name : {"editPhone2", "editPsw2", "editPhone3", "editPsw3"}) {
            QVERIFY(!edit(dialog, name)->testAttribute(Qt::WA_InputMethodEnabled));
        }
        QCOMPARE(button(dialog, "pswdBtn")->font().pointSize(), fontPointSize(3));
        QCOMPARE(edit(dialog, "editPhone2")->font().pointSize(), fontPointSize(2));
        QCOMPARE(button(dialog, "btnFindPsw")->font().pointSize(), fontPointSize(1));
        // Empty password field: the larger size; dots of a typed one: the smaller.
        QCOMPARE(edit(dialog, "editPsw2")->font().pointSize(), fontPointSize(2));
        QTest::keyClicks(edit(dialog, "editPsw2"), "x");
        QCOMPARE(edit(dialog, "editPsw2")->font().pointSize(), fontPointSize(1));
        QVERIFY(dialog->isAncestorOf(QApplication::focusWidget()));
        QCOMPARE(QApplication::focusWidget(), edit(dialog, "editPhone2"));
    }

    void phoneValidator_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("first digit 2") << "23"
                                       << "";
        QTest::newRow("first digit 0") << "0"
                                       << "";
        QTest::newRow("letters") << "1a3b"
                                 << "13";
        QTest::newRow("twelfth digit") << "138000000012"
                                       << "13800000001";
    }

    void phoneValidator()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        DialogLogin* dialog = open();
        for (const char* name : {"editPhone2", "editPhone3"}) {
            QTest::keyClicks(edit(dialog, name), typed);
            QCOMPARE(edit(dialog, name)->text(), kept);
        }
    }

    void tenDigitsKeepTheButtonsDisabled()
    {
        DialogLogin* dialog = open();
        QTest::keyClicks(edit(dialog, "editPsw2"), LocalServiceProcess::password);
        QTest::keyClicks(edit(dialog, "editPsw3"), "123456");
        for (const char* name : {"editPhone2", "editPhone3"}) {
            QTest::keyClicks(edit(dialog, name), "1380000000");
        }
        for (const char* name : {"loginBtn2", "loginBtn3", "codeBtn3"}) {
            QVERIFY2(!button(dialog, name)->isEnabled(), name);
            QCOMPARE(button(dialog, name)->cursor().shape(), Qt::ArrowCursor);
            QCOMPARE(button(dialog, name)->styleSheet(), QString("QPushButton{background-color: gray;}"));
        }
        for (const char* name : {"editPhone2", "editPhone3"}) {
            QTest::keyClicks(edit(dialog, name), "1");
        }
        for (const char* name : {"loginBtn2", "loginBtn3", "codeBtn3"}) {
            QVERIFY2(button(dialog, name)->isEnabled(), name);
            QCOMPARE(button(dialog, name)->cursor().shape(), Qt::PointingHandCursor);
            QCOMPARE(button(dialog, name)->styleSheet(),
                     QString("QPushButton{background-color: rgb(1,149,255);}"));
        }
        QTest::keyClick(edit(dialog, "editPsw3"), Qt::Key_Backspace);
        QVERIFY(!button(dialog, "loginBtn3")->isEnabled());
    }

    void passwordSignInClosesAndKeepsThePhone()
    {
        DialogLogin* dialog = open();
        QTest::keyClicks(edit(dialog, "editPhone2"), LocalServiceProcess::demoPhone);
        // Return in the phone field moves on to the password.
        QTest::keyClick(edit(dialog, "editPhone2"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), edit(dialog, "editPsw2"));
        QTest::keyClicks(edit(dialog, "editPsw2"), LocalServiceProcess::password);
        QTest::keyClick(edit(dialog, "editPsw2"), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 10000);
        QVERIFY(CLoginManager::instance()->isLoggedIn());
        QCOMPARE(config().encryptedValue(CLocalConfig::kUserPhone1), QString(LocalServiceProcess::demoPhone));
        QVERIFY(config().encryptedValue(CLocalConfig::kUserPhone2).isEmpty());
        QVERIFY(config().encryptedValue(CLocalConfig::kUserPswd).isEmpty());
        QCOMPARE(config().value(CLocalConfig::kRememberPswd, true).toBool(), false);
        QCOMPARE(config().value(CLocalConfig::kAutoLogin, true).toBool(), false);

        // The next dialog offers the phone, not a password.
        DialogLogin* next = open();
        QCOMPARE(edit(next, "editPhone2")->text(), QString(LocalServiceProcess::demoPhone));
        QVERIFY(edit(next, "editPsw2")->text().isEmpty());
    }

    void rememberedPasswordIsOfferedNextTime()
    {
        DialogLogin* dialog = open();
        QTest::keyClicks(edit(dialog, "editPhone2"), LocalServiceProcess::demoPhone);
        QTest::keyClicks(edit(dialog, "editPsw2"), LocalServiceProcess::password);
        QTest::mouseClick(child<QCheckBox>(dialog, "checkBoxStore2"), Qt::LeftButton, {}, QPoint(8, 8));
        QCOMPARE(config().value(CLocalConfig::kRememberPswd).toBool(), true);
        QTest::mouseClick(child<QCheckBox>(dialog, "checkBoxAutoLogin"), Qt::LeftButton, {}, QPoint(8, 8));
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QTest::mouseClick(button(dialog, "loginBtn2"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 10000);

        // Stored RSA-encrypted (only the service's key opens it), and that
        // text encrypted again by the settings.
        const QString stored = config().encryptedValue(CLocalConfig::kUserPswd);
        QVERIFY(!stored.isEmpty());
        QCOMPARE(rsaDecrypt(stored), QByteArray(LocalServiceProcess::password));
        const QString raw = rawSetting(CLocalConfig::kUserPswd);
        QVERIFY(!raw.isEmpty());
        QVERIFY(raw != stored);
        const QDateTime time =
            QDateTime::fromString(config().encryptedValue(CLocalConfig::kTime), Qt::ISODate);
        QVERIFY(time >= before && time <= QDateTime::currentDateTime());
        QCOMPARE(config().value(CLocalConfig::kAutoLogin).toBool(), true);

        CLoginManager::instance()->logout();
        DialogLogin* next = open();
        QCOMPARE(edit(next, "editPsw2")->text(), DialogLogin::rememberedPlaceholder());
        QVERIFY(child<QCheckBox>(next, "checkBoxStore2")->isChecked());
        QVERIFY(child<QCheckBox>(next, "checkBoxAutoLogin")->isChecked());
        QVERIFY(button(next, "loginBtn2")->isEnabled());
        QTest::mouseClick(button(next, "loginBtn2"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!next->isVisible(), 10000);
        // The stored text went out as it was.
        QCOMPARE(lastSentPassword(), stored);
        QCOMPARE(config().encryptedValue(CLocalConfig::kUserPswd), stored);
    }

    void editingTheRememberedPasswordSendsTheTypedText()
    {
        // Remembered before the password changed elsewhere.
        remember("earlier1", QDateTime::currentDateTime());
        DialogLogin* dialog = open();
        QLineEdit* password = edit(dialog, "editPsw2");
        QCOMPARE(password->text(), DialogLogin::rememberedPlaceholder());
        password->end(false);
        QTest::keyClick(password, Qt::Key_Backspace);
        QTest::mouseClick(button(dialog, "loginBtn2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(label(dialog, "labelTip2")->text(), QString("手机号或密码错误，请重新输入"),
                                  10000);
        QVERIFY(dialog->isVisible());
        QCOMPARE(rsaDecrypt(lastSentPassword()), DialogLogin::rememberedPlaceholder().chopped(1).toUtf8());

        // Typed from scratch: that text goes, encrypted by the manager.
        password->clear();
        QTest::keyClicks(password, LocalServiceProcess::password);
        QTest::mouseClick(button(dialog, "loginBtn2"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 10000);
        QCOMPARE(rsaDecrypt(lastSentPassword()), QByteArray(LocalServiceProcess::password));
        // ... and is remembered in place of the old one.
        QCOMPARE(rsaDecrypt(config().encryptedValue(CLocalConfig::kUserPswd)),
                 QByteArray(LocalServiceProcess::password));
    }

    // The remembered password goes only with the phone it was remembered
    // for: editing the phone empties the password field.
    void editingThePhoneDropsTheRememberedPassword_data()
    {
        QTest::addColumn<QString>("lastDigit");
        QTest::newRow("another account") << "6";
        QTest::newRow("the same number typed again") << "1";
    }
    void editingThePhoneDropsTheRememberedPassword()
    {
        QFETCH(QString, lastDigit);
        remember(LocalServiceProcess::password, QDateTime::currentDateTime());
        DialogLogin* dialog = open();
        QCOMPARE(edit(dialog, "editPsw2")->text(), DialogLogin::rememberedPlaceholder());
        QLineEdit* phone = edit(dialog, "editPhone2");
        phone->setFocus();
        phone->end(false);
        QTest::keyClick(phone, Qt::Key_Backspace);
        QTest::keyClicks(phone, lastDigit);
        QVERIFY(edit(dialog, "editPsw2")->text().isEmpty());
        QVERIFY(!button(dialog, "loginBtn2")->isEnabled());

        // Typed again, the password goes as typed.
        QTest::keyClicks(edit(dialog, "editPsw2"), LocalServiceProcess::password);
        QTest::mouseClick(button(dialog, "loginBtn2"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 10000);
        QCOMPARE(rsaDecrypt(lastSentPassword()), QByteArray(LocalServiceProcess::password));
    }

    void rememberedForFifteenDays_data()
    {
        QTest::addColumn<int>("daysAgo");
        QTest::addColumn<bool>("offered");
        QTest::newRow("today") << 0 << true;
        QTest::newRow("14 midnights") << 14 << true;
        QTest::newRow("15 midnights") << 15 << false;
        QTest::newRow("tomorrow") << -1 << true;
    }

    void rememberedForFifteenDays()
    {
        QFETCH(int, daysAgo);
        QFETCH(bool, offered);
        remember(LocalServiceProcess::password, QDateTime::currentDateTime().addDays(-daysAgo));
        DialogLogin* dialog = open();
        QCOMPARE(edit(dialog, "editPsw2")->text(),
                 offered ? DialogLogin::rememberedPlaceholder() : QString());
        QCOMPARE(config().encryptedValue(CLocalConfig::kUserPswd).isEmpty(), !offered);
    }

    void unreadableTimeDropsThePassword()
    {
        remember(LocalServiceProcess::password, QDateTime::currentDateTime());
        config().setEncryptedValue(CLocalConfig::kTime, "yesterday");
        DialogLogin* dialog = open();
        QVERIFY(edit(dialog, "editPsw2")->text().isEmpty());
        QVERIFY(config().encryptedValue(CLocalConfig::kUserPswd).isEmpty());
    }

    void smsFirstLandsOnTheCodePage()
    {
        DialogLogin* dialog = open();
        QTest::keyClicks(edit(dialog, "editPsw3"), "12");
        QTest::keyClicks(edit(dialog, "editPhone2"), LocalServiceProcess::smsFirstPhone);
        QTest::keyClicks(edit(dialog, "editPsw2"), LocalServiceProcess::password);
        QTest::mouseClick(button(dialog, "loginBtn2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(stack(dialog)->currentIndex(), 2, 10000);
        QVERIFY(button(dialog, "authBtn")->isChecked());
        QCOMPARE(edit(dialog, "editPhone3")->text(), QString(LocalServiceProcess::smsFirstPhone));
        QCOMPARE(edit(dialog, "editPsw3")->text(), QString("12"));
        QCOMPARE(label(dialog, "labelTip3")->text(), QString("请先使用验证码登录"));
        QCOMPARE(label(dialog, "labelTip2")->text(), QString("请先使用验证码登录"));
        // The password page's button is back.
        QCOMPARE(button(dialog, "loginBtn2")->text(), QString("登 录"));
        QVERIFY(button(dialog, "loginBtn2")->isEnabled());
    }

    // A password sign-in waits (2 s for its authorization) while the user
    // signs in on the code page as another account: the later sign-in wins,
    // and the waiting one's answer, when it comes, writes nothing.
    void passwordAndCodePagesDoNotMixAccounts()
    {
        QVERIFY(m_service->setFault(
            {{"endpoint", "authCodeByPassword"}, {"mode", "delay"}, {"delayMs", 2000}, {"count", 1}}));
        DialogLogin* dialog = open();
        QTest::keyClicks(edit(dialog, "editPhone2"), LocalServiceProcess::demoPhone);
        QTest::keyClicks(edit(dialog, "editPsw2"), LocalServiceProcess::password);
        const QString other = LocalServiceProcess::smsFirstPhone;
        bool codeSignInDone = false;
        // From inside the password sign-in's wait.
        QTimer::singleShot(300, dialog, [&] {
            QTest::mouseClick(button(dialog, "authBtn"), Qt::LeftButton);
            QTest::keyClicks(edit(dialog, "editPhone3"), other);
            QTest::mouseClick(button(dialog, "codeBtn3"), Qt::LeftButton);
            QTRY_VERIFY(!m_service->latestSmsCode(other).isEmpty());
            QTest::keyClicks(edit(dialog, "editPsw3"), m_service->latestSmsCode(other));
            QTest::mouseClick(button(dialog, "loginBtn3"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 10000);
            codeSignInDone = true;
        });
        QTest::mouseClick(button(dialog, "loginBtn2"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(codeSignInDone, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_service->requests("authCodeByPassword").first().toObject().value("status").toInt() == 200,
            10000);
        // Nothing marks the end of what the late answer could set off: a margin.
        QTest::qWait(500);
        QVERIFY(CLoginManager::instance()->isLoggedIn());
        const auto& info = CLoginInfo::instance();
        QCOMPARE(info->name, QString("孙悦"));
        QCOMPARE(info->phone, other);
        QCOMPARE(AccountFixture::accountNameOfToken(*m_service, info->accessToken), info->name);
        QCOMPARE(AccountFixture::requestCount(*m_service, "tokenFromAuthCode"), 1);
    }

    void serviceRefusals_data()
    {
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("shown");
        QTest::newRow("locked") << LocalServiceProcess::lockedPhone << LocalServiceProcess::password
                                << "当前账号已被锁定，请稍后登录";
        QTest::newRow("wrong password") << LocalServiceProcess::demoPhone << "demo12345"
                                        << "手机号或密码错误，请重新输入";
        QTest::newRow("not activated") << LocalServiceProcess::inactivePhone << LocalServiceProcess::password
                                       << "请先注册Vantelor账号再登录";
        QTest::newRow("unknown") << "13912345678" << LocalServiceProcess::password
                                 << "请先注册Vantelor账号再登录";
    }

    void serviceRefusals()
    {
        QFETCH(QString, phone);
        QFETCH(QString, password);
        QFETCH(QString, shown);
        DialogLogin* dialog = open();
        QTest::keyClicks(edit(dialog, "editPhone2"), phone);
        QTest::keyClicks(edit(dialog, "editPsw2"), password);
        QTest::mouseClick(button(dialog, "loginBtn2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(label(dialog, "labelTip2")->text(), shown, 10000);
        QVERIFY(dialog->isVisible());
        QVERIFY(button(dialog, "loginBtn2")->isEnabled());
        QVERIFY(config().encryptedValue(CLocalConfig::kUserPhone1).isEmpty());
    }

    void outcomeTexts_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no server") << "1"
                                   << "x"
                                   << "无法连接到服务器";
        QTest::newRow("200") << "200"
                             << "x"
                             << "";
        QTest::newRow("unknown code, no message") << "4321"
                                                  << ""
                                                  << "未知错误,错误码:4321";
        QTest::newRow("unknown code, message") << "4321"
                                               << "服务繁忙"
                                               << "服务繁忙";
        QTest::newRow("message with markup") << "4321" << outsideMarkup() << outsideMarkup();
    }

    void outcomeTexts()
    {
        QFETCH(QString, code);
        QFETCH(QString, message);
        QFETCH(QString, shown);
        DialogLogin* dialog = open();
        emit CLoginManager::instance()->signalLogState(code, message);
        QCOMPARE(shownText(label(dialog, "labelTip2")), shown);
        QCOMPARE(shownText(label(dialog, "labelTip3")), shown);
        QVERIFY(dialog->isVisible());
        // A tab click clears the lines.
        QTest::mouseClick(button(dialog, "authBtn"), Qt::LeftButton);
        QCOMPARE(stack(dialog)->currentIndex(), 2);
        QVERIFY(label(dialog, "labelTip3")->text().isEmpty());
    }

    void failedEncryptionShowsItsOwnText()
    {
        QVERIFY(!CCipher::instance()->loadPublicKey("not a key"));
        DialogLogin* dialog = open();
        QTest::keyClicks(edit(dialog, "editPhone2"), LocalServiceProcess::demoPhone);
        QTest::keyClicks(edit(dialog, "editPsw2"), LocalServiceProcess::password);
        QTest::mouseClick(button(dialog, "loginBtn2"), Qt::LeftButton);
        QCOMPARE(label(dialog, "labelTip2")->text(), QString("账号或密码加密失败,无法登录"));
        QVERIFY(dialog->isVisible());
        QVERIFY(button(dialog, "loginBtn2")->isEnabled());
        QCOMPARE(m_service->requests().size(), 0);
    }

    void smsSignInKeepsTheRememberedChoices()
    {
        remember("earlier", QDateTime::currentDateTime());
        config().setValue(CLocalConfig::kAutoLogin, true);
        config().setEncryptedValue(CLocalConfig::kUserPhone1, "13900000009");
        const QString storedPassword = config().encryptedValue(CLocalConfig::kUserPswd);
        const QString storedTime = config().encryptedValue(CLocalConfig::kTime);

        DialogLogin* dialog = open();
        QTest::mouseClick(button(dialog, "authBtn"), Qt::LeftButton);
        QCOMPARE(stack(dialog)->currentIndex(), 2);
        QTest::keyClicks(edit(dialog, "editPhone3"), LocalServiceProcess::demoPhone);
        QTest::mouseClick(button(dialog, "codeBtn3"), Qt::LeftButton);
        QCOMPARE(button(dialog, "codeBtn3")->text(), QString("60s后重试"));
        QString code;
        QTRY_VERIFY_WITH_TIMEOUT(!(code = m_service->latestSmsCode(LocalServiceProcess::demoPhone)).isEmpty(),
                                 10000);
        QTest::keyClicks(edit(dialog, "editPsw3"), code);
        QTest::keyClick(edit(dialog, "editPsw3"), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 10000);
        QVERIFY(CLoginManager::instance()->isLoggedIn());

        QCOMPARE(config().encryptedValue(CLocalConfig::kUserPhone2), QString(LocalServiceProcess::demoPhone));
        QCOMPARE(config().encryptedValue(CLocalConfig::kUserPhone1), QString("13900000009"));
        QCOMPARE(config().encryptedValue(CLocalConfig::kUserPswd), storedPassword);
        QCOMPARE(config().encryptedValue(CLocalConfig::kTime), storedTime);
        QCOMPARE(config().value(CLocalConfig::kRememberPswd).toBool(), true);
        QCOMPARE(config().value(CLocalConfig::kAutoLogin).toBool(), true);
    }

    void uncheckingRememberKeepsTheAutoLoginMark()
    {
        config().setValue(CLocalConfig::kRememberPswd, true);
        config().setValue(CLocalConfig::kAutoLogin, true);
        DialogLogin* dialog = open();
        auto* store = child<QCheckBox>(dialog, "checkBoxStore2");
        auto* autoLogin = child<QCheckBox>(dialog, "checkBoxAutoLogin");
        QVERIFY(store->isChecked());
        QVERIFY(autoLogin->isEnabled() && autoLogin->isChecked());

        QTest::mouseClick(store, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(!store->isChecked());
        QVERIFY(!autoLogin->isEnabled());
        QVERIFY(autoLogin->isChecked());
        QCOMPARE(config().value(CLocalConfig::kRememberPswd).toBool(), false);
        QCOMPARE(config().value(CLocalConfig::kAutoLogin).toBool(), true);

        QTest::mouseClick(store, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(autoLogin->isEnabled());
        QTest::mouseClick(autoLogin, Qt::LeftButton, {}, QPoint(8, 8));
        QCOMPARE(config().value(CLocalConfig::kAutoLogin).toBool(), false);
    }

    void countdownRunsSixtySeconds()
    {
        DialogLogin* dialog = open();
        QTest::mouseClick(button(dialog, "authBtn"), Qt::LeftButton);
        QPushButton* code = button(dialog, "codeBtn3");
        QTest::keyClicks(edit(dialog, "editPhone3"), LocalServiceProcess::demoPhone);
        QTest::mouseClick(code, Qt::LeftButton);
        auto* countdown = dialog->findChild<CCodeCountdown*>();
        QVERIFY(countdown && countdown->isRunning());
        QCOMPARE(code->text(), QString("60s后重试"));
        for (int seconds = 59; seconds >= 1; --seconds) {
            tick(countdown);
            QCOMPARE(code->text(), QString("%1s后重试").arg(seconds));
            QVERIFY(!code->isEnabled());
        }
        tick(countdown);
        QVERIFY(!countdown->isRunning());
        QCOMPARE(code->text(), QString("获取验证码"));
        QVERIFY(code->isEnabled());
        QCOMPARE(code->cursor().shape(), Qt::PointingHandCursor);
    }

    void countdownEndsEarly_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("phone edited") << "phone";
        QTest::newRow("code tab clicked") << "tab";
        QTest::newRow("outcome arrives") << "outcome";
    }

    void countdownEndsEarly()
    {
        QFETCH(QString, how);
        DialogLogin* dialog = open();
        QTest::mouseClick(button(dialog, "authBtn"), Qt::LeftButton);
        QLineEdit* phone = edit(dialog, "editPhone3");
        QTest::keyClicks(phone, LocalServiceProcess::demoPhone);
        // Return in the phone field asks for a code and moves on to it.
        QTest::keyClick(phone, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), edit(dialog, "editPsw3"));
        auto* countdown = dialog->findChild<CCodeCountdown*>();
        QVERIFY(countdown->isRunning());
        tick(countdown);
        if (how == "phone") {
            QTest::keyClick(phone, Qt::Key_Backspace);
        } else if (how == "tab") {
            QTest::mouseClick(button(dialog, "authBtn"), Qt::LeftButton);
        } else {
            emit CLoginManager::instance()->signalLogState("1", "");
        }
        QVERIFY(!countdown->isRunning());
        QCOMPARE(button(dialog, "codeBtn3")->text(), QString("获取验证码"));
        QCOMPARE(button(dialog, "codeBtn3")->isEnabled(), phone->text().length() == 11);
    }

    void linksCloseAndAsk_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("signup");
        QTest::newRow("register") << "regBtn2" << true;
        QTest::newRow("find password") << "btnFindPsw" << false;
    }

    void linksCloseAndAsk()
    {
        QFETCH(QString, link);
        QFETCH(bool, signup);
        DialogLogin* dialog = open();
        QSignalSpy toSignup(dialog, &DialogLogin::signupBtnClicked);
        QSignalSpy toFind(dialog, &DialogLogin::findPswBtnClicked);
        bool hiddenFirst = false;
        connect(dialog, signup ? &DialogLogin::signupBtnClicked : &DialogLogin::findPswBtnClicked, this,
                [&] { hiddenFirst = !dialog->isVisible(); });
        QTest::mouseClick(button(dialog, link.toLatin1()), Qt::LeftButton);
        QCOMPARE(toSignup.count(), signup ? 1 : 0);
        QCOMPARE(toFind.count(), signup ? 0 : 1);
        QVERIFY(hiddenFirst);
    }

    void escapeAndCloseButtonClose()
    {
        DialogLogin* dialog = open();
        QTest::keyClick(edit(dialog, "editPhone2"), Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        DialogLogin* next = open();
        QTest::mouseClick(button(next, "btn_close_login_new"), Qt::LeftButton);
        QVERIFY(!next->isVisible());
    }

private:
    static CLocalConfig& config() { return *CLocalConfig::instance(); }
    static void tick(CCodeCountdown* countdown)
    {
        QTimerEvent event(countdown->timerId());
        QCoreApplication::sendEvent(countdown, &event);
    }

    // A new dialog over the parent, as the main window shows it; the main
    // window destroys each one after its run.
    DialogLogin* open()
    {
        delete m_dialog.data();
        m_dialog = new DialogLogin(m_parent.get());
        m_dialog->show();
        return m_dialog;
    }

    // The password as the dialog remembers it, stored at time.
    static void remember(const QString& password, const QDateTime& time)
    {
        QString encrypted;
        QVERIFY(CCipher::instance()->rsaEncryptBase64(password, encrypted));
        config().setEncryptedValue(CLocalConfig::kUserPhone1, LocalServiceProcess::demoPhone);
        config().setEncryptedValue(CLocalConfig::kUserPswd, encrypted);
        config().setEncryptedValue(CLocalConfig::kTime, time.toString(Qt::ISODate));
        config().setValue(CLocalConfig::kRememberPswd, true);
    }

    // The raw text in the settings file.
    static QString rawSetting(const QString& key)
    {
        QSettings file(config().filePath(), QSettings::IniFormat);
        return file.value(config().storedKey(key)).toString();
    }

    // Decrypts with the service's private key, through the openssl tool.
    static QByteArray rsaDecrypt(const QString& base64)
    {
        return TestDeployment::openssl({"pkeyutl", "-decrypt", "-inkey", TestDeployment::devPrivateKeyPath(),
                                        "-pkeyopt", "rsa_padding_mode:pkcs1"},
                                       QByteArray::fromBase64(base64.toLatin1()));
    }

    // The password field of the last password sign-in the service received.
    QString lastSentPassword()
    {
        const QJsonArray auth = m_service->requests("authCodeByPassword");
        if (auth.isEmpty()) {
            return QString();
        }
        const QUrlQuery body(auth.last().toObject().value("body").toString());
        return body.queryItemValue("password", QUrl::FullyDecoded);
    }

    template <class T> static T* child(QWidget* dialog, const char* name)
    {
        return ChildLookup::optional<T>(dialog, QLatin1String(name));
    }
    static QPushButton* button(QWidget* d, const char* name) { return child<QPushButton>(d, name); }
    static QLineEdit* edit(QWidget* d, const char* name) { return child<QLineEdit>(d, name); }
    static QLabel* label(QWidget* d, const char* name) { return child<QLabel>(d, name); }
    static QStackedWidget* stack(QWidget* d) { return child<QStackedWidget>(d, "stkwid"); }

    std::unique_ptr<LocalServiceProcess> m_service;
    std::unique_ptr<QWidget> m_parent;
    QPointer<DialogLogin> m_dialog;
};

QTEST_MAIN(TestDialogLogin)
#include "tst_dialoglogin.moc"
