#include "account/loginmanager.h"
#include "account/passwordmanager.h"
#include "core/localconfig.h"
#include "dialogwaiter.h"
#include "support/accountfixture.h"
#include "support/childlookup.h"
#include "support/testenvironment.h"
#include "typing.h"
#include "ui/dialogchangepassword.h"
#include "ui/dialoglogin.h"
#include "ui/screenscale.h"
#include "ui/windowmain.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>

// The change-password dialog typed into like a user; the signed-in demo user
// changes the password at the local service.
class TestDialogChangePassword : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase() { QVERIFY(AccountFixture::start(m_service)); }
    void init()
    {
        QVERIFY(AccountFixture::reset(*m_service));
        CPasswordManager::instance(true);
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

    void layoutAndFields()
    {
        DialogChangePassword* dialog = open();
        QCOMPARE(dialog->size(), QSize(426, 450));
        QCOMPARE(dialog->pos(), QPoint(237, 75));
        QCOMPARE(label(dialog, "labelTitle")->text(), QString("修改密码"));
        QCOMPARE(label(dialog, "labelTitle")->font().pointSize(), fontPointSize(3));
        QCOMPARE(edit(dialog, "editPsw2")->placeholderText(), QString("请再次输入新密码"));
        QCOMPARE(button(dialog, "btnOK")->text(), QString("确  定"));
        QVERIFY(!button(dialog, "btnOK")->isEnabled());
        QCOMPARE(button(dialog, "btnOK")->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(mainStack(dialog)->currentIndex(), 0);
        for (const char* name : {"editPswOld", "editPsw1", "editPsw2"}) {
            QCOMPARE(edit(dialog, name)->echoMode(), QLineEdit::Password);
            QVERIFY(!edit(dialog, name)->testAttribute(Qt::WA_InputMethodEnabled));
            QCOMPARE(edit(dialog, name)->font().pointSize(), fontPointSize(2));
        }
        QCOMPARE(QApplication::focusWidget(), edit(dialog, "editPswOld"));
        // Return moves on field by field.
        QTest::keyClicks(edit(dialog, "editPswOld"), "old");
        QTest::keyClick(edit(dialog, "editPswOld"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), edit(dialog, "editPsw1"));
        QTest::keyClicks(edit(dialog, "editPsw1"), "newpass1");
        QTest::keyClick(edit(dialog, "editPsw1"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), edit(dialog, "editPsw2"));
        QTest::keyClick(edit(dialog, "editPsw2"), Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
    }

    void passwordCheck_data()
    {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("second empty") << "demo1234"
                                      << "newpass1"
                                      << ""
                                      << "" << false;
        QTest::newRow("differ") << "demo1234"
                                << "newpass1"
                                << "newpass2"
                                << "两次输入的新密码不一致" << false;
        QTest::newRow("seven") << "demo1234"
                               << "newpas1"
                               << "newpas1"
                               << "新密码长度不能少于8位" << false;
        QTest::newRow("equal to old") << "demo1234"
                                      << "demo1234"
                                      << "demo1234"
                                      << "新密码不能和原密码相同" << false;
        QTest::newRow("no old") << ""
                                << "newpass1"
                                << "newpass1"
                                << "" << false;
        QTest::newRow("good") << "demo1234"
                              << "newpass1"
                              << "newpass1"
                              << "" << true;
        QTest::newRow("eighteen") << "demo1234"
                                  << "abcdefghij12345678"
                                  << "abcdefghij12345678"
                                  << "" << true;
    }

    void passwordCheck()
    {
        QFETCH(QString, oldPassword);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, tip);
        QFETCH(bool, enabled);
        DialogChangePassword* dialog = open();
        QTest::keyClicks(edit(dialog, "editPswOld"), oldPassword);
        QTest::keyClicks(edit(dialog, "editPsw1"), first);
        QTest::keyClicks(edit(dialog, "editPsw2"), second);
        QCOMPARE(label(dialog, "labelTip")->text(), tip);
        QCOMPARE(button(dialog, "btnOK")->isEnabled(), enabled);
        QCOMPARE(button(dialog, "btnOK")->styleSheet(),
                 enabled ? QString("QPushButton{background-color: rgb(1,149,255);}")
                         : QString("QPushButton{background-color: gray;}"));
    }

    void fieldsAcceptWhatTheyShould_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        const QString blanks33 = QString("a b ").repeated(8) + "c";
        QTest::newRow("old: blanks up to 32") << "editPswOld" << blanks33 << blanks33.left(32);
        QTest::newRow("old: non-ASCII") << "editPswOld"
                                        << "密码ab"
                                        << "密码ab";
        QTest::newRow("new: no blank") << "editPsw1"
                                       << "ab cd"
                                       << "abcd";
        QTest::newRow("new: no non-ASCII") << "editPsw1"
                                           << "ab密码"
                                           << "ab";
        QTest::newRow("new: 18 at most") << "editPsw1"
                                         << "abcdefghij123456789"
                                         << "abcdefghij12345678";
        QTest::newRow("confirm: 18 at most") << "editPsw2"
                                             << "abcdefghij123456789"
                                             << "abcdefghij12345678";
    }

    void fieldsAcceptWhatTheyShould()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        DialogChangePassword* dialog = open();
        Typing::type(edit(dialog, field.toLatin1()), typed);
        QCOMPARE(edit(dialog, field.toLatin1())->text(), kept);
    }

    void wrongOldPasswordIsReported()
    {
        signIn();
        DialogChangePassword* dialog = open();
        fill(dialog, "demo12345", "newpass123");
        QTest::mouseClick(button(dialog, "btnOK"), Qt::LeftButton);
        QCOMPARE(label(dialog, "labelTip")->text(), QString("原密码验证失败"));
        QCOMPARE(mainStack(dialog)->currentIndex(), 0);
        QCOMPARE(button(dialog, "btnOK")->text(), QString("确  定"));
        QVERIFY(button(dialog, "btnOK")->isEnabled());
        QCOMPARE(edit(dialog, "editPsw1")->text(), QString("newpass123"));
    }

    void withoutSignInTheTokenIsMissing()
    {
        DialogChangePassword* dialog = open();
        fill(dialog, LocalServiceProcess::password, "newpass123");
        QTest::keyClick(edit(dialog, "editPsw2"), Qt::Key_Return);
        QCOMPARE(label(dialog, "labelTip")->text(), QString("令牌问题导致无法修改密码"));
        QCOMPARE(AccountFixture::requestCount(*m_service, "changePassword"), 0);
    }

    void successClosesAfterThreeSeconds()
    {
        signIn();
        DialogChangePassword* dialog = open();
        fill(dialog, LocalServiceProcess::password, "newpass123");
        QElapsedTimer clock;
        clock.start();
        QTest::keyClick(edit(dialog, "editPsw2"), Qt::Key_Return);
        QCOMPARE(mainStack(dialog)->currentIndex(), mainStack(dialog)->count() - 1);
        QCOMPARE(label(dialog, "labelDoneText")->text(), QString("恭喜你成功修改密码!"));
        QVERIFY(dialog->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 6000);
        // A single shot of seconds is a coarse timer: it may fire up to 5 % early.
        QVERIFY2(clock.elapsed() >= DialogChangePassword::kDoneCloseMs * 95 / 100,
                 qPrintable(QString::number(clock.elapsed())));

        // The service now takes the new password only.
        CLoginManager::instance()->logout();
        QSignalSpy state(CLoginManager::instance().get(), &CLoginManager::signalLogState);
        CLoginManager::instance()->loginPswd(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QTRY_VERIFY_WITH_TIMEOUT(!state.isEmpty(), 10000);
        QCOMPARE(state.first().first().toString(), QString("1200"));
        signIn("newpass123");
    }

    // The settings remember one account's password; a change made while
    // signed in as another account (by SMS code) leaves it alone.
    void anotherAccountsRememberedPasswordStays()
    {
        CLocalConfig& config = *CLocalConfig::instance();
        config.setEncryptedValue(CLocalConfig::kUserPhone1, QStringLiteral("13800000006"));
        QVERIFY(config.rememberPassword(QStringLiteral("theirs123")));
        const QString remembered = config.encryptedValue(CLocalConfig::kUserPswd);
        signIn();
        DialogChangePassword* dialog = open();
        fill(dialog, LocalServiceProcess::password, "newpass123");
        QTest::keyClick(edit(dialog, "editPsw2"), Qt::Key_Return);
        QCOMPARE(mainStack(dialog)->currentIndex(), mainStack(dialog)->count() - 1);
        QCOMPARE(config.encryptedValue(CLocalConfig::kUserPswd), remembered);
        config.remove(CLocalConfig::kUserPswd);
        config.remove(CLocalConfig::kUserPhone1);
    }

    void closingTheSuccessPageEarly()
    {
        signIn();
        DialogChangePassword* dialog = open();
        fill(dialog, LocalServiceProcess::password, "newpass123");
        QTest::mouseClick(button(dialog, "btnOK"), Qt::LeftButton);
        QCOMPARE(mainStack(dialog)->currentIndex(), 1);
        QTest::mouseClick(button(dialog, "btnClose"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QPointer<QTimer> doneClose = child<QTimer>(dialog, "doneCloseTimer");
        QVERIFY(doneClose);
        QCOMPARE(doneClose->interval(), DialogChangePassword::kDoneCloseMs);
        delete dialog;
        // The pending close went with the dialog: nothing is left to fire on it.
        QVERIFY(doneClose.isNull());
    }

    // The way a user goes in the client: sign in with the password
    // remembered, change it from the menu, and the next sign-in dialog offers
    // the remembered password, which is now the new one.
    void throughTheMainWindow()
    {
        WindowMain* window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        whenDialogOpen<DialogLogin>(window, [](DialogLogin* login) {
            QTest::keyClicks(login->findChild<QLineEdit*>("editPhone2"), LocalServiceProcess::demoPhone);
            QTest::keyClicks(login->findChild<QLineEdit*>("editPsw2"), LocalServiceProcess::password);
            QTest::mouseClick(login->findChild<QCheckBox*>("checkBoxStore2"), Qt::LeftButton, {},
                              QPoint(8, 8));
            QTest::keyClick(login->findChild<QLineEdit*>("editPsw2"), Qt::Key_Return);
        });
        window->onShowLoginDlg();
        QVERIFY(CLoginManager::instance()->isLoggedIn());
        QVERIFY(!window->isMaskVisible());

        whenDialogOpen<DialogChangePassword>(window, [](DialogChangePassword* dialog) {
            fill(dialog, LocalServiceProcess::password, "newpass123");
            QTest::keyClick(edit(dialog, "editPsw2"), Qt::Key_Return);
        });
        window->onShowChangePswDlg();
        QVERIFY(window->findChildren<QDialog*>().isEmpty());
        QVERIFY(!window->isMaskVisible());

        CLoginManager::instance()->logout();
        whenDialogOpen<DialogLogin>(window, [](DialogLogin* login) {
            auto* password = login->findChild<QLineEdit*>("editPsw2");
            QCOMPARE(password->text(), DialogLogin::rememberedPlaceholder());
            QTest::keyClick(password, Qt::Key_Return);
        });
        window->onShowLoginDlg();
        QVERIFY(CLoginManager::instance()->isLoggedIn());
        WindowMain::instance(true);
    }

private:
    DialogChangePassword* open()
    {
        auto* dialog = new DialogChangePassword(m_parent.get());
        dialog->show();
        return dialog;
    }
    void signIn(const QString& password = LocalServiceProcess::password)
    {
        QSignalSpy login(CLoginManager::instance().get(), &CLoginManager::signalLogin);
        CLoginManager::instance()->loginPswd(LocalServiceProcess::demoPhone, password);
        QTRY_COMPARE_WITH_TIMEOUT(login.count(), 1, 10000);
    }
    static void fill(QWidget* dialog, const QString& oldPassword, const QString& newPassword)
    {
        QTest::keyClicks(edit(dialog, "editPswOld"), oldPassword);
        QTest::keyClicks(edit(dialog, "editPsw1"), newPassword);
        QTest::keyClicks(edit(dialog, "editPsw2"), newPassword);
    }

    template <class T> static T* child(QWidget* dialog, const char* name)
    {
        return ChildLookup::optional<T>(dialog, QLatin1String(name));
    }
    static QPushButton* button(QWidget* d, const char* name) { return child<QPushButton>(d, name); }
    static QLineEdit* edit(QWidget* d, const char* name) { return child<QLineEdit>(d, name); }
    static QLabel* label(QWidget* d, const char* name) { return child<QLabel>(d, name); }
    static QStackedWidget* mainStack(QWidget* d) { return child<QStackedWidget>(d, "stkwidMain"); }

    std::unique_ptr<LocalServiceProcess> m_service;
    std::unique_ptr<QWidget> m_parent;
};

QTEST_MAIN(TestDialogChangePassword)
#include "tst_dialogchangepassword.moc"
