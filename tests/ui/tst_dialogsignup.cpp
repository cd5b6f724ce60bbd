#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "account/passwordmanager.h"
#include "account/signupmanager.h"
#include "core/localconfig.h"
#include "dialogwaiter.h"
#include "platform/systemping.h"
#include "support/accountfixture.h"
#include "support/childlookup.h"
#include "support/testenvironment.h"
#include "typing.h"
#include "ui/codecountdown.h"
#include "ui/dialoglogin.h"
#include "ui/dialogsignup.h"
#include "ui/fontsubstitution.h"
#include "ui/windowmain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QtTest>

// The registration dialog typed into like a user, against the local service:
// the input rules, the code countdown, the three steps and their failures.
class TestDialogSignup : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        QVERIFY(AccountFixture::start(m_service));
    }
    void init()
    {
        QVERIFY(AccountFixture::reset(*m_service));
        CSignupManager::instance(true);
        CPasswordManager::instance(true);
        m_dialog.reset(new DialogSignup);
        m_current = m_dialog.get();
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    }
    void cleanup()
    {
        m_dialog.reset();
        WindowMain::instance(true);
        CLoginManager::instance(true);
    }

    void passwordFieldsRefuseWhatTheyMustNot_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("refused");
        const QString eighteen = "abcdefghijklmnopq!";
        for (const char* field : {"editPsw12_1", "editPsw12_2"}) {
            for (bool paste : {false, true}) {
                const QByteArray how = QByteArray(field) + (paste ? " pasted: " : " typed: ");
                QTest::newRow(how + "blank") << field << paste << "abc" << (paste ? "d f" : " ");
                QTest::newRow(how + "CJK")
                    << field << paste << "abc" << QString::fromUtf8(paste ? "x密码" : "密");
                QTest::newRow(how + "Latin-1") << field << paste << "abc" << QString::fromUtf8("é");
                QTest::newRow(how + "19th character") << field << paste << eighteen << (paste ? "st" : "s");
            }
        }
    }
    void passwordFieldsRefuseWhatTheyMustNot()
    {
        QFETCH(QString, field);
        QFETCH(bool, paste);
        QFETCH(QString, before);
        QFETCH(QString, refused);
        showStep(1);
        auto* edit = child<QLineEdit>(field);
        Typing::type(edit, before);
        QCOMPARE(edit->text(), before);
        if (paste) {
            Typing::paste(edit, refused);
        } else {
            Typing::type(edit, refused);
        }
        QCOMPARE(edit->text(), before);
        // What the rule allows still goes in both ways.
        if (before.size() < 18) {
            Typing::paste(edit, "!~");
            QCOMPARE(edit->text(), before + "!~");
        }
    }

    void passwordCheck_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("one empty") << "abcdefg1"
                                   << ""
                                   << "" << false;
        QTest::newRow("differ") << "abcdefg1"
                                << "abcdefg2"
                                << "两次输入的密码不一致" << false;
        QTest::newRow("seven characters") << "abcdefg"
                                          << "abcdefg"
                                          << "密码不能少于8位" << false;
        QTest::newRow("eight characters") << "abcdefg1"
                                          << "abcdefg1"
                                          << "" << true;
        QTest::newRow("eighteen characters") << "abcdefghijklmnopq!"
                                             << "abcdefghijklmnopq!"
                                             << "" << true;
    }
    void passwordCheck()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, tip);
        QFETCH(bool, enabled);
        showStep(1);
        Typing::type(child<QLineEdit>("editName"), QString::fromUtf8("赵敏"));
        Typing::type(child<QLineEdit>("editPsw12_1"), first);
        Typing::type(child<QLineEdit>("editPsw12_2"), second);
        QCOMPARE(child<QLabel>("labelTip12")->text(), tip);
        auto* ok = child<QPushButton>("signupBtn12");
        QCOMPARE(ok->isEnabled(), enabled);
        QCOMPARE(ok->cursor().shape(), enabled ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }

    void codeButtonFollowsThePhoneAndTheCountdown()
    {
        auto* phone = child<QLineEdit>("editPhone11");
        auto* code = child<QPushButton>("codeBtn11");
        auto* sign = child<QPushButton>("signBtn11");
        QVERIFY(!code->isEnabled());
        Typing::type(phone, "2");
        QCOMPARE(phone->text(), QString());
        Typing::type(phone, "1391234567");
        QVERIFY(!code->isEnabled());
        Typing::type(phone, "8");
        QVERIFY(code->isEnabled());
        QVERIFY(!sign->isEnabled());

        QTest::mouseClick(code, Qt::LeftButton);
        auto* countdown = m_dialog->findChild<CCodeCountdown*>();
        QVERIFY(countdown->isRunning());
        QCOMPARE(code->text(), QString("60s后重试"));
        tick(countdown);
        QCOMPARE(code->text(), QString("60s后重试"));
        tick(countdown);
        QCOMPARE(code->text(), QString("59s后重试"));
        QVERIFY(!code->isEnabled());
        QTRY_VERIFY(!m_service->latestSmsCode("13912345678").isEmpty());

        // A six-digit code enables registering, not the code button.
        Typing::type(child<QLineEdit>("editPsw11"), "123456");
        QVERIFY(sign->isEnabled());
        QVERIFY(!code->isEnabled());

        // Editing the phone number ends the countdown.
        QTest::keyClick(phone, Qt::Key_Backspace);
        QVERIFY(!countdown->isRunning());
        QCOMPARE(code->text(), QString("获取验证码"));
        QVERIFY(!code->isEnabled());
        Typing::type(phone, "9");
        QVERIFY(code->isEnabled());
        QCOMPARE(code->cursor().shape(), Qt::PointingHandCursor);
    }

    void stepOneFailures_data()
    {
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QString>("smsFault");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("tip");
        QTest::newRow("1: phone registered already") << "13800000001"
                                                     << ""
                                                     << ""
                                                     << "该手机号已注册";
        QTest::newRow("1: 登录验证失败") << "13912345670"
                                         << "登录验证失败"
                                         << ""
                                         << "验证码验证失败";
        QTest::newRow("3: wrong code") << "13912345671"
                                       << ""
                                       << "000000"
                                       << "验证码验证失败";
    }
    void stepOneFailures()
    {
        QFETCH(QString, phone);
        QFETCH(QString, smsFault);
        QFETCH(QString, code);
        QFETCH(QString, tip);
        if (!smsFault.isEmpty()) {
            QVERIFY(m_service->setFault({{"endpoint", "sendSmsCode"},
                                         {"mode", "fail"},
                                         {"errorCode", "1202"},
                                         {"errorMsg", smsFault}}));
        }
        QSignalSpy state(CSignupManager::instance().get(), &CSignupManager::signalSignupState);
        auto* codeButton = child<QPushButton>("codeBtn11");
        Typing::type(child<QLineEdit>("editPhone11"), phone);
        QTest::mouseClick(codeButton, Qt::LeftButton);
        auto* countdown = m_dialog->findChild<CCodeCountdown*>();
        QVERIFY(countdown->isRunning());
        if (!code.isEmpty()) {
            QTRY_COMPARE(state.count(), 1); // "2": sent
            QVERIFY(countdown->isRunning());
            Typing::type(child<QLineEdit>("editPsw11"), code);
            QTest::mouseClick(child<QPushButton>("signBtn11"), Qt::LeftButton);
            QCOMPARE(child<QPushButton>("signBtn11")->text(), QString("正在注册账号..."));
        }
        QTRY_COMPARE(child<QLabel>("labelTip11")->text(), tip);
        // The countdown is over: a new code can be requested at once.
        QVERIFY(!countdown->isRunning());
        QVERIFY(codeButton->isEnabled());
        QCOMPARE(codeButton->text(), QString("获取验证码"));
        QCOMPARE(child<QPushButton>("signBtn11")->text(), QString("注  册"));
        QCOMPARE(stack()->currentIndex(), 0);
    }

    void registersSetsPasswordAndNameThenCloses()
    {
        const QString phone = "13912345678";
        registerPhone(phone);
        Typing::type(child<QLineEdit>("editName"), QString::fromUtf8("赵敏"));
        Typing::type(child<QLineEdit>("editPsw12_1"), "Fresh#2026");
        Typing::type(child<QLineEdit>("editPsw12_2"), "Fresh#2026");
        // From the congratulation to the close, timed by the dialog's own moments.
        QElapsedTimer shown;
        qint64 openFor = -1;
        connect(stack(), &QStackedWidget::currentChanged, this, [&shown](int index) {
            if (index == 2) {
                shown.start();
            }
        });
        connect(m_dialog.get(), &QDialog::finished, this, [&] { openFor = shown.elapsed(); });
        // Return in the confirmation presses the enabled OK button.
        Typing::pressReturn(child<QLineEdit>("editPsw12_2"));
        QTRY_COMPARE_WITH_TIMEOUT(stack()->currentIndex(), 2, 10000);
        QVERIFY(child<QLabel>("labelDoneText")->isVisible());
        QCOMPARE(child<QLabel>("labelDoneText")->text(), QString("恭喜你注册成功!"));

        const QJsonObject account = accountOf(phone);
        QCOMPARE(account.value("password").toString(), QString("Fresh#2026"));
        QCOMPARE(account.value("name").toString(), QString::fromUtf8("赵敏"));
        QCOMPARE(CLoginInfo::instance()->name, QString::fromUtf8("赵敏"));
        QVERIFY(CLoginInfo::instance()->personJson.contains(QString::fromUtf8("\"name\":\"赵敏\"")));
        QTRY_VERIFY(CLoginManager::instance()->isLoggedIn());

        QTRY_VERIFY_WITH_TIMEOUT(!m_dialog->isVisible(), 6000);
        // A coarse timer may fire up to 5 % early.
        QVERIFY2(openFor >= DialogSignup::kDoneCloseMs * 95 / 100, qPrintable(QString::number(openFor)));
    }

    void nameFailureKeepsThePassword()
    {
        const QString phone = "13912345677";
        registerPhone(phone);
        QVERIFY(m_service->setFault(
            {{"endpoint", "modifyProfile"}, {"mode", "fail"}, {"errorCode", "1304"}, {"errorMsg", "x"}}));
        Typing::type(child<QLineEdit>("editName"), "Li");
        Typing::type(child<QLineEdit>("editPsw12_1"), "Fresh#2026");
        Typing::type(child<QLineEdit>("editPsw12_2"), "Fresh#2026");
        QTest::mouseClick(child<QPushButton>("signupBtn12"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("labelTip12")->text(),
                                  QString("密码已设置成功,但姓名设置失败"), 10000);
        QCOMPARE(stack()->currentIndex(), 1);
        QVERIFY(child<QPushButton>("signupBtn12")->isEnabled());
        QCOMPARE(child<QPushButton>("signupBtn12")->text(), QString("确  定"));
        QCOMPARE(accountOf(phone).value("password").toString(), QString("Fresh#2026"));
    }

    void skipAndCloseAtOnce()
    {
        registerPhone("13912345676");
        QTest::mouseClick(child<QPushButton>("skipBtn12"), Qt::LeftButton);
        QCOMPARE(stack()->currentIndex(), 2);
        QVERIFY(m_dialog->isVisible());
        QTest::mouseClick(child<QPushButton>("btnClose"), Qt::LeftButton);
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(!CLoginManager::instance()->isLoggedIn());
        QVERIFY(accountOf("13912345676").value("password").toString().isEmpty());
    }

    void keys()
    {
        auto* phone = child<QLineEdit>("editPhone11");
        phone->setFocus();
        Typing::type(phone, "13912345675");
        Typing::pressReturn(phone);
        QVERIFY(m_dialog->findChild<CCodeCountdown*>()->isRunning());
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>("editPsw11"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!m_dialog->isVisible());
    }

    void loginLinkLeavesForSignIn()
    {
        QSignalSpy login(m_dialog.get(), &DialogSignup::loginBtnClicked);
        QTest::mouseClick(child<QPushButton>("loginBtn11"), Qt::LeftButton);
        QCOMPARE(login.count(), 1);
        QVERIFY(!m_dialog->isVisible());
    }

    void screenshots()
    {
        const QString outDir = QStringLiteral(VANTELOR_BIN_DIR "/../screenshots");
        QVERIFY(QDir().mkpath(outDir));
        Typing::type(child<QLineEdit>("editPhone11"), "13912345674");
        QTest::mouseClick(child<QPushButton>("codeBtn11"), Qt::LeftButton);
        QTRY_VERIFY(!m_service->latestSmsCode("13912345674").isEmpty());
        save(outDir + "/signup-step1.png");
        Typing::type(child<QLineEdit>("editPsw11"), m_service->latestSmsCode("13912345674"));
        QTest::mouseClick(child<QPushButton>("signBtn11"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(stack()->currentIndex(), 1, 10000);
        Typing::type(child<QLineEdit>("editName"), QString::fromUtf8("赵敏"));
        Typing::type(child<QLineEdit>("editPsw12_1"), "abcdefg");
        Typing::type(child<QLineEdit>("editPsw12_2"), "abcdefg");
        save(outDir + "/signup-step2.png");
        QTest::mouseClick(child<QPushButton>("skipBtn12"), Qt::LeftButton);
        const QImage done = save(outDir + "/signup-step3.png");
        // The white body below the transparent strip of the close button.
        QCOMPARE(done.pixelColor(20, 430), QColor(Qt::white));
    }

    // What the user does in the client: the dialog over the main window's
    // mask, the account signed in when it has closed by itself.
    void registersThroughTheMainWindow()
    {
        m_dialog.reset();
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        WindowMain* window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        bool finished = false;
        whenDialogOpen<DialogSignup>(window, [&](DialogSignup* dialog) {
            m_current = dialog;
            QVERIFY(window->isMaskVisible());
            registerPhone("13912345673");
            Typing::type(child<QLineEdit>("editName"), QString::fromUtf8("赵敏"));
            Typing::type(child<QLineEdit>("editPsw12_1"), "Fresh#2026");
            Typing::type(child<QLineEdit>("editPsw12_2"), "Fresh#2026");
            save(QStringLiteral(VANTELOR_BIN_DIR "/../screenshots/signup-in-window.png"));
            QTest::mouseClick(child<QPushButton>("signupBtn12"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(stack()->currentIndex(), 2, 10000);
            finished = true;
        });
        // Runs the dialog until it closes; a failed check above closes it.
        QTimer::singleShot(30000, window, [window] {
            for (DialogSignup* dialog : window->findChildren<DialogSignup*>()) {
                dialog->close();
            }
        });
        window->onShowSignupDlg();
        m_current = nullptr;
        QVERIFY(finished);
        QVERIFY(!window->isMaskVisible());
        QVERIFY(window->findChildren<DialogSignup*>().isEmpty());
        QTRY_VERIFY(CLoginManager::instance()->isLoggedIn());
        QString name;
        CLoginManager::instance()->userName(name);
        QCOMPARE(name, QString::fromUtf8("赵敏"));
    }

    // Registering from the sign-in dialog leaves that dialog alive and
    // hidden; the sign-in that registration makes must not save what was
    // half typed there as the remembered password.
    void hiddenSignInDialogKeepsItsHandsOff()
    {
        m_dialog.reset();
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        CLocalConfig::instance()->setValue(CLocalConfig::kRememberPswd, true);
        CLocalConfig::instance()->setValue(CLocalConfig::kAutoLogin, true);
        CLocalConfig::instance()->remove(CLocalConfig::kUserPswd);
        WindowMain* window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        bool finished = false;
        whenDialogOpen<DialogLogin>(window, [&](DialogLogin* login) {
            QVERIFY(login->findChild<QLineEdit*>("editPsw2")->text().isEmpty());
            QVERIFY(CLocalConfig::instance()->encryptedValue(CLocalConfig::kTime).isEmpty());
            login->findChild<QLineEdit*>("editPsw2")->setText("halfTyped");
            whenDialogOpen<DialogSignup>(window, [&](DialogSignup* dialog) {
                m_current = dialog;
                registerPhone("13912345671");
                Typing::type(child<QLineEdit>("editName"), QString::fromUtf8("赵敏"));
                Typing::type(child<QLineEdit>("editPsw12_1"), "Fresh#2026");
                Typing::type(child<QLineEdit>("editPsw12_2"), "Fresh#2026");
                QTest::mouseClick(child<QPushButton>("signupBtn12"), Qt::LeftButton);
                QTRY_COMPARE_WITH_TIMEOUT(stack()->currentIndex(), 2, 10000);
                finished = true;
            });
            QTest::mouseClick(login->findChild<QPushButton*>("regBtn2"), Qt::LeftButton);
        });
        window->onShowLoginDlg();
        m_current = nullptr;
        QVERIFY(finished);
        QVERIFY(CLocalConfig::instance()->encryptedValue(CLocalConfig::kUserPswd).isEmpty());
    }

private:
    template <class T> T* child(const QString& name) { return ChildLookup::required<T>(m_current, name); }
    QStackedWidget* stack() { return child<QStackedWidget>("stkwidSignup"); }
    void showStep(int index) { stack()->setCurrentIndex(index); }
    static void tick(CCodeCountdown* countdown)
    {
        QTimerEvent event(countdown->timerId());
        QCoreApplication::sendEvent(countdown, &event);
    }
    QJsonObject accountOf(const QString& phone)
    {
        const QJsonArray accounts =
            m_service->control("GET", "/__control/accounts").value("accounts").toArray();
        for (const QJsonValue& value : accounts) {
            if (value.toObject().value("phone").toString() == phone) {
                return value.toObject();
            }
        }
        return {};
    }
    // Step 1 with the code from the service's SMS log; ends on step 2.
    void registerPhone(const QString& phone)
    {
        Typing::type(child<QLineEdit>("editPhone11"), phone);
        QTest::mouseClick(child<QPushButton>("codeBtn11"), Qt::LeftButton);
        QTRY_VERIFY(!m_service->latestSmsCode(phone).isEmpty());
        auto* code = child<QLineEdit>("editPsw11");
        Typing::type(code, m_service->latestSmsCode(phone));
        code->setFocus();
        Typing::pressReturn(code);
        QTRY_COMPARE_WITH_TIMEOUT(stack()->currentIndex(), 1, 10000);
        QVERIFY(!accountOf(phone).isEmpty());
    }
    QImage save(const QString& path)
    {
        if (m_current != m_dialog.get()) {
            // Under a real X server (xvfb-run with QT_QPA_PLATFORM=xcb) the
            // picture is what the server shows.
            QWidget* top = m_current->window();
            // Screenshots only: no event says the last repaint has landed.
            QTest::qWait(100);
            const QImage shot = QGuiApplication::platformName() == QLatin1String("xcb")
                                    ? QGuiApplication::primaryScreen()
                                          ->grabWindow(0, top->x(), top->y(), top->width(), top->height())
                                          .toImage()
                                    : top->grab().toImage();
            shot.save(path);
            return shot;
        }
        // Screenshots only: no event says the last repaint has landed.
        QTest::qWait(50);
        QImage shot(m_dialog->size(), QImage::Format_ARGB32);
        shot.fill(QColor(60, 60, 60));
        m_dialog->render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
        shot.save(path);
        return shot;
    }

    std::unique_ptr<LocalServiceProcess> m_service;
    std::unique_ptr<DialogSignup> m_dialog;
    // The dialog the helpers look into.
    QDialog* m_current = nullptr;
};

QTEST_MAIN(TestDialogSignup)
#include "tst_dialogsignup.moc"
