#pragma once

#include "ui/accountdialog.h"
#include <QString>

class CCodeCountdown;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QWidget;

// Signing in by phone number and password or by phone number and SMS code.
// Remembers the last phone numbers, the password for 15 days and the
// auto-login choice; the login manager does the network work and reports the
// outcome through signalLogState.
class DialogLogin : public AccountDialog
{
    Q_OBJECT
public:
    explicit DialogLogin(QWidget* parent = nullptr);
    ~DialogLogin() override;

    // Stands in the password field while a remembered password is offered.
    static QString rememberedPlaceholder();

signals:
    // The user asked to register.
    void signupBtnClicked();
    // The user asked to recover the password.
    void findPswBtnClicked();

private slots:
    bool saveConfig();
    bool readConfig();
    void clearPswdConfig();
    // The phone was edited: a remembered password offered for it goes.
    void dropRememberedPswd();
    void showSignupDlg();
    void on_btnFindPsw_clicked();
    void on_checkBoxStore2_clicked();
    void on_checkBoxAutoLogin_clicked();
    void setupPage2();
    void setupPage3();
    // The countdown of the code button (CCodeCountdown, ending at the 60th tick).
    void startTimer();
    void stopTimer();
    void loginPswd();
    void sendVerCode();
    void loginAuth();
    void clearState();
    void updateState(QString errorCode, QString errorMsg);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setupUi();
    void applyFonts();
    void makeConnections();
    void showError(const QString& text);
    void stopFollowingSignIn();

    QButtonGroup* buttonGroup = nullptr;
    CCodeCountdown* countdown = nullptr;
    // The remembered password as stored (RSA-encrypted, Base64); empty when
    // none is offered or the user has edited the password field.
    QString rememberedPswd;

    QFrame* frameContent = nullptr;
    QStackedWidget* stkwid = nullptr;
    QPushButton* scanBtn = nullptr;
    QPushButton* pswdBtn = nullptr;
    QPushButton* authBtn = nullptr;
    QPushButton* btn_close_login_new = nullptr;

    QWidget* page1 = nullptr;
    QLabel* labelQRcode = nullptr;
    QLabel* labelTip1_1 = nullptr;
    QLabel* labelTip1_2 = nullptr;
    QPushButton* regBtn1 = nullptr;

    QWidget* page2 = nullptr;
    QLabel* labelLogo2 = nullptr;
    QLabel* labelTip2 = nullptr;
    QLabel* labelPhone2 = nullptr;
    QLineEdit* editPhone2 = nullptr;
    QLabel* labelPsw2 = nullptr;
    QLineEdit* editPsw2 = nullptr;
    QPushButton* loginBtn2 = nullptr;
    QCheckBox* checkBoxStore2 = nullptr;
    QCheckBox* checkBoxAutoLogin = nullptr;
    QPushButton* regBtn2 = nullptr;
    QPushButton* btnFindPsw = nullptr;

    QWidget* page3 = nullptr;
    QLabel* labelLogo3 = nullptr;
    QLabel* labelTip3 = nullptr;
    QLabel* labelPhone3 = nullptr;
    QLineEdit* editPhone3 = nullptr;
    QLabel* labelPsw3 = nullptr;
    QLineEdit* editPsw3 = nullptr;
    QPushButton* codeBtn3 = nullptr;
    QPushButton* loginBtn3 = nullptr;
    QPushButton* regBtn3 = nullptr;
};
