#pragma once

#include "ui/accountdialog.h"
#include <QString>

class CCodeCountdown;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

// Resetting a forgotten password: the phone number proved by an SMS code,
// the new password typed twice; after a success page the sign-in dialog
// follows by itself.
class DialogFindPassword : public AccountDialog
{
    Q_OBJECT
public:
    explicit DialogFindPassword(QWidget* parent = nullptr);
    ~DialogFindPassword() override;

    static constexpr int kDoneCloseMs = 3000;

signals:
    // Go back to the sign-in dialog.
    void loginBtnClicked();

private slots:
    void setupPage11();
    void startTimer();
    void stopTimer();
    void showPage2();
    void closeAndToLogin();
    void on_btnBack_clicked();
    void on_btnVerCode_clicked();
    void on_btnOK_clicked();
    void updateVerCodeState(QString errorCode, QString errorMsg);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setupUi();
    void applyFonts();
    // The two password fields against each other; writes labelTip.
    bool checkPassword();

    QFrame* frameContent = nullptr;
    QStackedWidget* stkwidAll = nullptr;
    QWidget* page1 = nullptr;
    QLabel* labelTitle = nullptr;
    QFrame* frameLine = nullptr;
    QStackedWidget* stkwidMain = nullptr;
    QPushButton* btnClose = nullptr;

    QWidget* page11 = nullptr;
    QLabel* labelTip = nullptr;
    QLabel* labelPhone = nullptr;
    QLineEdit* editPhone = nullptr;
    QLabel* labelVerCode = nullptr;
    QLineEdit* editVerCode = nullptr;
    QPushButton* btnVerCode = nullptr;
    QLabel* labelPsw1 = nullptr;
    QLineEdit* editPsw1 = nullptr;
    QLabel* labelPsw2 = nullptr;
    QLineEdit* editPsw2 = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnBack = nullptr;

    QWidget* page12 = nullptr;
    QLabel* labelDonePic = nullptr;
    QLabel* labelDoneText = nullptr;

    // The SMS-code countdown of btnVerCode (60 shown twice, ends at the 61st tick).
    CCodeCountdown* countdown = nullptr;
};
