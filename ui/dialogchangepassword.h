#pragma once

#include "ui/accountdialog.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

// Changing the signed-in user's password: the old one and the new one twice;
// a success page closes the dialog after a few seconds.
class DialogChangePassword : public AccountDialog
{
    Q_OBJECT
public:
    explicit DialogChangePassword(QWidget* parent = nullptr);

    // How long the success page stays before the dialog closes.
    static constexpr int kDoneCloseMs = 3000;

private slots:
    void setupPage11();
    void showPage2();
    void on_btnOK_clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setupUi();
    void applyFonts();
    // Whether the two new passwords may be sent; says why not in labelTip.
    bool checkPassword();

    QFrame* frameContent = nullptr;
    QStackedWidget* stkwidAll = nullptr;
    QWidget* page1 = nullptr;
    QLabel* labelTitle = nullptr;
    QFrame* frameLine = nullptr;
    QStackedWidget* stkwidMain = nullptr;
    QWidget* page11 = nullptr;
    QWidget* page12 = nullptr;
    QPushButton* btnClose = nullptr;

    QLabel* labelTip = nullptr;
    QLabel* labelPswOld = nullptr;
    QLineEdit* editPswOld = nullptr;
    QLabel* labelPsw1 = nullptr;
    QLineEdit* editPsw1 = nullptr;
    QLabel* labelPsw2 = nullptr;
    QLineEdit* editPsw2 = nullptr;
    QPushButton* btnOK = nullptr;
    QLabel* labelDonePic = nullptr;
    QLabel* labelDoneText = nullptr;
};
