#pragma once

#include "ui/accountdialog.h"
#include <QString>

class CCodeCountdown;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

// Registering a new account in three steps: the phone number proved by an SMS
// code creates the account; then a password and a name (or skip); then a
// short congratulation before the dialog closes by itself.
class DialogSignup : public AccountDialog
{
    Q_OBJECT
public:
    explicit DialogSignup(QWidget* parent = nullptr);
    ~DialogSignup() override;

    static constexpr int kDoneCloseMs = 3000;

signals:
    // The user wants the sign-in dialog instead.
    void loginBtnClicked();

public slots:
    void clearState();
    void updatePage11State(QString errorCode, QString errorMsg);
    void updatePage12State(QString errorCode, QString errorMsg);

private slots:
    void setupPage11();
    void setupPage12();
    void startTimer();
    void stopTimer();
    void showPage3();
    void on_loginBtn11_clicked();
    void on_codeBtn11_clicked();
    void on_signBtn11_clicked();
    void on_skipBtn12_clicked();
    void on_signupBtn12_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setupUi();
    void buildStep1(QWidget* page);
    void buildStep2(QWidget* page);
    void buildStep3(QWidget* page);
    void applyFonts();
    // The two password fields against each other; writes labelTip12.
    bool checkPassword();
    void showNameFailure(const QString& tip);

    QFrame* frameContent = nullptr;
    QStackedWidget* stkwidAll = nullptr;
    QWidget* pageSignup = nullptr;
    QLabel* labelSignup = nullptr;
    QFrame* frameLine = nullptr;
    QStackedWidget* stkwidSignup = nullptr;
    QPushButton* btnClose = nullptr;

    QWidget* page11 = nullptr;
    QLabel* labelStep11 = nullptr;
    QLabel* labelTip11 = nullptr;
    QLabel* labelPhone11 = nullptr;
    QLineEdit* editPhone11 = nullptr;
    QLabel* labelPsw11 = nullptr;
    QLineEdit* editPsw11 = nullptr;
    QPushButton* codeBtn11 = nullptr;
    QPushButton* signBtn11 = nullptr;
    QPushButton* loginBtn11 = nullptr;

    QWidget* page12 = nullptr;
    QLabel* labelStep12 = nullptr;
    QLabel* labelTip12 = nullptr;
    QLabel* labelName12 = nullptr;
    QLineEdit* editName = nullptr;
    QLabel* labelPsw12 = nullptr;
    QLineEdit* editPsw12_1 = nullptr;
    QLabel* labelPsw12_2 = nullptr;
    QLineEdit* editPsw12_2 = nullptr;
    QPushButton* signupBtn12 = nullptr;
    QPushButton* skipBtn12 = nullptr;

    QWidget* page13 = nullptr;
    QLabel* labelStep13 = nullptr;
    QLabel* labelDonePic = nullptr;
    QLabel* labelDoneText = nullptr;

    // The SMS-code countdown of codeBtn11 (60 shown twice, ends at the 61st tick).
    CCodeCountdown* countdown = nullptr;
};
