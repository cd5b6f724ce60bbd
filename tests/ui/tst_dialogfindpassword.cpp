#include "account/loginmanager.h"
#include "account/passwordmanager.h"
#include "account/tokenmanager.h"
#include "core/localconfig.h"
#include "dialogwaiter.h"
#include "platform/systemping.h"
#include "support/accountfixture.h"
#include "support/childlookup.h"
#include "support/testenvironment.h"
#include "typing.h"
#include "ui/codecountdown.h"
#include "ui/dialogfindpassword.h"
#include "ui/dialoglogin.h"
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

// The find-password dialog typed into like a user, against the local
// service: the code request, a wrong code, the reset and the way back to
// the sign-in dialog.
class TestDialogFindPassword : public QObject
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
        CPasswordManager::instance(true);
        m_dialog.reset(new DialogFindPassword);
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

    void passwordFieldsRefuseBlankNonAsciiAndA19thCharacter_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("refused");
        for (const char* field : {"editPsw1", "editPsw2"}) {
            for (bool paste : {false, true}) {
                const QByteArray how = QByteArray(field) + (paste ? " pasted: " : " typed: ");
                QTest::newRow(how + "blank") << field << paste << "abc"
                                             << " ";
                QTest::newRow(how + "CJK") << field << paste << "abc" << QString::fromUtf8("码");
                QTest::newRow(how + "19th character") << field << paste << "abcdefghijklmnopq!"
                                                      << "s";
            }
        }
    }
    void passwordFieldsRefuseBlankNonAsciiAndA19thCharacter()
    {
        QFETCH(QString, field);
        QFETCH(bool, paste);
        QFETCH(QString, before);
        QFETCH(QString, refused);
        auto* edit = child<QLineEdit>(field);
        Typing::type(edit, before);
        if (paste) {
            Typing::paste(edit, refused);
        } else {
            Typing::type(edit, refused);
        }
        QCOMPARE(edit->text(), before);
    }

    void okNeedsPhoneCodeAndMatchingPasswords()
    {
        auto* ok = child<QPushButton>("btnOK");
        auto* tip = child<QLabel>("labelTip");
        Typing::type(child<QLineEdit>("editPhone"), LocalServiceProcess::demoPhone);
        Typing::type(child<QLineEdit>("editVerCode"), "12345");
        Typing::type(child<QLineEdit>("editPsw1"), "abcdefg");
        Typing::type(child<QLineEdit>("editPsw2"), "abcdefg");
        QCOMPARE(tip->text(), QString("密码不能少于8位"));
        QVERIFY(!ok->isEnabled());
        Typing::type(child<QLineEdit>("editPsw2"), "h");
        QCOMPARE(tip->text(), QString("两次输入的密码不一致"));
        Typing::type(child<QLineEdit>("editPsw1"), "h");
        QCOMPARE(tip->text(), QString());
        QVERIFY(!ok->isEnabled());
        Typing::type(child<QLineEdit>("editVerCode"), "6");
        QVERIFY(ok->isEnabled());
        QCOMPARE(ok->cursor().shape(), Qt::PointingHandCursor);
    }

    void failedCodeRequestEndsTheCountdown_data()
    {
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QString>("faultMsg");
        QTest::addColumn<QString>("tip");
        QTest::newRow("unknown account") << "13912345678"
                                         << ""
                                         << "账号不存在或未激活";
        QTest::newRow("service message") << LocalServiceProcess::demoPhone << "发送过于频繁"
                                         << "发送过于频繁";
    }
    void failedCodeRequestEndsTheCountdown()
    {
        QFETCH(QString, phone);
        QFETCH(QString, faultMsg);
        QFETCH(QString, tip);
        if (!faultMsg.isEmpty()) {
            QVERIFY(m_service->setFault({{"endpoint", "sendSmsCode"},
                                         {"mode", "fail"},
                                         {"errorCode", "1308"},
                                         {"errorMsg", faultMsg}}));
        }
        auto* phoneEdit = child<QLineEdit>("editPhone");
        Typing::type(phoneEdit, phone);
        phoneEdit->setFocus();
        Typing::pressReturn(phoneEdit);
        auto* countdown = m_dialog->findChild<CCodeCountdown*>();
        QVERIFY(countdown->isRunning());
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>("editVerCode"));
        QTRY_COMPARE(child<QLabel>("labelTip")->text(), tip);
        QVERIFY(!countdown->isRunning());
        QVERIFY(child<QPushButton>("btnVerCode")->isEnabled());
        QCOMPARE(child<QPushButton>("btnVerCode")->text(), QString("获取验证码"));
    }

    void wrongCodeLeavesThePassword()
    {
        requestCode(LocalServiceProcess::demoPhone);
        fillIn("000000", "Another#1");
        QTest::mouseClick(child<QPushButton>("btnOK"), Qt::LeftButton);
        QCOMPARE(child<QLabel>("labelTip")->text(), CTokenManager::instance()->errorMsg());
        QVERIFY(!child<QLabel>("labelTip")->text().isEmpty());
        QCOMPARE(child<QPushButton>("btnOK")->text(), QString("确  定"));
        QVERIFY(child<QPushButton>("btnOK")->isEnabled());
        QCOMPARE(child<QStackedWidget>("stkwidMain")->currentIndex(), 0);
        QCOMPARE(passwordOf(LocalServiceProcess::demoPhone), QString(LocalServiceProcess::password));
        QCOMPARE(AccountFixture::requestCount(*m_service, "resetPassword"), 0);
    }

    // After the success page the sign-in dialog is asked for 3 s later, unless
    // the user closed the dialog before.
    void successReturnsToSignIn_data()
    {
        QTest::addColumn<bool>("closeEarly");
        QTest::newRow("waits") << false;
        QTest::newRow("closed early") << true;
    }
    void successReturnsToSignIn()
    {
        QFETCH(bool, closeEarly);
        QSignalSpy toLogin(m_dialog.get(), &DialogFindPassword::loginBtnClicked);
        const QString phone = LocalServiceProcess::demoPhone;
        requestCode(phone);
        fillIn(m_service->latestSmsCode(phone), "Another#1");
        auto* confirm = child<QLineEdit>("editPsw2");
        confirm->setFocus();
        // Started before the success page, so the time measured is never short.
        QElapsedTimer clicked;
        clicked.start();
        qint64 askedAfter = -1;
        connect(m_dialog.get(), &DialogFindPassword::loginBtnClicked, this,
                [&] { askedAfter = clicked.elapsed(); });
        Typing::pressReturn(confirm);
        QCOMPARE(child<QStackedWidget>("stkwidMain")->currentIndex(), 1);
        QVERIFY(child<QLabel>("labelDoneText")->isVisible());
        QCOMPARE(passwordOf(phone), QString("Another#1"));
        QCOMPARE(toLogin.count(), 0);
        auto* doneClose = child<QTimer>("doneCloseTimer");
        QVERIFY(doneClose->isActive());
        QCOMPARE(doneClose->interval(), DialogFindPassword::kDoneCloseMs);
        if (closeEarly) {
            QTest::mouseClick(child<QPushButton>("btnClose"), Qt::LeftButton);
            QVERIFY(!m_dialog->isVisible());
            // The only way to the sign-in dialog from here is that timer: stopped, it never fires.
            QVERIFY(!doneClose->isActive());
            QCoreApplication::processEvents();
            QCOMPARE(toLogin.count(), 0);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(toLogin.count(), 1, DialogFindPassword::kDoneCloseMs + 2000);
            QVERIFY(!m_dialog->isVisible());
            // A coarse timer may fire up to 5 % early.
            QVERIFY2(askedAfter >= DialogFindPassword::kDoneCloseMs * 95 / 100,
                     qPrintable(QString::number(askedAfter)));
        }
    }

    // A password remembered for the recovered phone is replaced by the new
    // one: what the next sign-in dialog offers, and the automatic sign-in
    // sends, still signs in. One remembered for another phone stays.
    void recoveryReplacesThePhonesRememberedPassword_data()
    {
        QTest::addColumn<QString>("rememberedPhone");
        QTest::newRow("remembered for this phone") << QString(LocalServiceProcess::demoPhone);
        QTest::newRow("remembered for another phone") << QString(LocalServiceProcess::noCompanyPhone);
    }
    void recoveryReplacesThePhonesRememberedPassword()
    {
        QFETCH(QString, rememberedPhone);
        CLocalConfig& config = *CLocalConfig::instance();
        config.setEncryptedValue(CLocalConfig::kUserPhone1, rememberedPhone);
        QVERIFY(config.rememberPassword(LocalServiceProcess::password));
        const QString before = config.encryptedValue(CLocalConfig::kUserPswd);
        const QString phone = LocalServiceProcess::demoPhone;
        requestCode(phone);
        fillIn(m_service->latestSmsCode(phone), "Another#1");
        QTest::mouseClick(child<QPushButton>("btnOK"), Qt::LeftButton);
        QCOMPARE(child<QStackedWidget>("stkwidMain")->currentIndex(), 1);
        const QString stored = config.encryptedValue(CLocalConfig::kUserPswd);
        config.remove(CLocalConfig::kUserPswd);
        config.remove(CLocalConfig::kUserPhone1);
        if (rememberedPhone != phone) {
            QCOMPARE(stored, before);
            return;
        }
        QSignalSpy state(CLoginManager::instance().get(), &CLoginManager::signalLogState);
        CLoginManager::instance()->loginPswd(phone, stored, false);
        QTRY_VERIFY_WITH_TIMEOUT(!state.isEmpty(), 10000);
        QCOMPARE(state.first().first().toString(), QString("0"));
    }

    void backAndEscape()
    {
        QSignalSpy toLogin(m_dialog.get(), &DialogFindPassword::loginBtnClicked);
        QTest::mouseClick(child<QPushButton>("btnBack"), Qt::LeftButton);
        QCOMPARE(toLogin.count(), 1);
        QVERIFY(!m_dialog->isVisible());
        m_current = m_dialog.get();
        m_dialog->show();
        QTest::keyClick(child<QLineEdit>("editPhone"), Qt::Key_Escape);
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(toLogin.count(), 1);
    }

    void screenshots()
    {
        const QString outDir = QStringLiteral(VANTELOR_BIN_DIR "/../screenshots");
        QVERIFY(QDir().mkpath(outDir));
        requestCode(LocalServiceProcess::demoPhone);
        fillIn("000000", "Another#1");
        QTest::mouseClick(child<QPushButton>("btnOK"), Qt::LeftButton);
        save(outDir + "/findpassword-input.png");
        Typing::clear(child<QLineEdit>("editVerCode"));
        Typing::type(child<QLineEdit>("editVerCode"),
                     m_service->latestSmsCode(LocalServiceProcess::demoPhone));
        QTest::mouseClick(child<QPushButton>("btnOK"), Qt::LeftButton);
        const QImage done = save(outDir + "/findpassword-done.png");
        // The success mark in the middle of its picture.
        QCOMPARE(done.pixelColor(213 - 20, 50 + 45 + 70 + 40), QColor(1, 149, 255));
    }

    // From the main window: the sign-in dialog follows the success page.
    void recoversThroughTheMainWindow()
    {
        m_dialog.reset();
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        WindowMain* window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        bool recovered = false;
        bool signInOpened = false;
        whenDialogOpen<DialogFindPassword>(window, [&](DialogFindPassword* dialog) {
            m_current = dialog;
            QVERIFY(window->isMaskVisible());
            const QString phone = LocalServiceProcess::demoPhone;
            requestCode(phone);
            fillIn(m_service->latestSmsCode(phone), "Another#1");
            QTest::mouseClick(child<QPushButton>("btnOK"), Qt::LeftButton);
            QCOMPARE(child<QStackedWidget>("stkwidMain")->currentIndex(), 1);
            save(QStringLiteral(VANTELOR_BIN_DIR "/../screenshots/findpassword-in-window.png"));
            recovered = true;
            whenDialogOpen<DialogLogin>(window, [&, dialog](DialogLogin* login) {
                signInOpened = true;
                QVERIFY(!dialog->isVisible());
                QVERIFY(window->isMaskVisible());
                login->close();
            });
        });
        QTimer::singleShot(30000, window, [window] {
            for (QDialog* dialog : window->findChildren<QDialog*>()) {
                dialog->close();
            }
        });
        window->onShowFindPswDlg();
        m_current = nullptr;
        QVERIFY(recovered);
        QVERIFY(signInOpened);
        QVERIFY(!window->isMaskVisible());
        QVERIFY(window->findChildren<QDialog*>().isEmpty());
        QCOMPARE(passwordOf(LocalServiceProcess::demoPhone), QString("Another#1"));
    }

private:
    template <class T> T* child(const QString& name) { return ChildLookup::required<T>(m_current, name); }
    void requestCode(const QString& phone)
    {
        Typing::type(child<QLineEdit>("editPhone"), phone);
        QTest::mouseClick(child<QPushButton>("btnVerCode"), Qt::LeftButton);
        QTRY_VERIFY(!m_service->latestSmsCode(phone).isEmpty());
    }
    void fillIn(const QString& code, const QString& password)
    {
        Typing::type(child<QLineEdit>("editVerCode"), code);
        Typing::type(child<QLineEdit>("editPsw1"), password);
        Typing::type(child<QLineEdit>("editPsw2"), password);
    }
    QString passwordOf(const QString& phone)
    {
        const QJsonArray accounts =
            m_service->control("GET", "/__control/accounts").value("accounts").toArray();
        for (const QJsonValue& value : accounts) {
            if (value.toObject().value("phone").toString() == phone) {
                return value.toObject().value("password").toString();
            }
        }
        return {};
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
    std::unique_ptr<DialogFindPassword> m_dialog;
    // The dialog the helpers look into.
    QDialog* m_current = nullptr;
};

QTEST_MAIN(TestDialogFindPassword)
#include "tst_dialogfindpassword.moc"
