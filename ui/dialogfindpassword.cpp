#include "ui/dialogfindpassword.h"

#include "account/loginmanager.h"
#include "account/passwordmanager.h"
#include "account/tokenmanager.h"
#include "core/localconfig.h"

#include "ui/actionbutton.h"
#include "ui/codecountdown.h"
#include "ui/formwidgets.h"
#include "ui/passwordfield.h"
#include "ui/stylesheet.h"

#include <QDebug>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

using namespace FormWidgets;

DialogFindPassword::DialogFindPassword(QWidget* parent) : AccountDialog(parent)
{
    setupUi();
    becomeChildDialog(false);
    stkwidMain->setCurrentIndex(0);

    editPhone->setValidator(PasswordField::validator(PasswordField::kPhonePattern, this));
    editVerCode->setValidator(PasswordField::validator(PasswordField::kVerCodePattern, this));
    QValidator* passwordValidator = PasswordField::validator(PasswordField::kNewPasswordPattern, this);
    editPsw1->setValidator(passwordValidator);
    editPsw2->setValidator(passwordValidator);
    for (QLineEdit* field : {editPhone, editVerCode, editPsw1, editPsw2}) {
        PasswordField::prepareField(field, this);
    }
    btnClose->lower();

    applyStyleSheet(QStringLiteral("wid_dlgfindpassword"), {this, page1, page11, page12},
                    "Can't open the style sheet file of wid_dlgfindpassword.qss");

    editPhone->setFocus();
    applyFonts();

    QMetaObject::connectSlotsByName(this);
    connect(editPhone, &QLineEdit::textChanged, this, &DialogFindPassword::stopTimer);
    for (QLineEdit* field : {editPhone, editVerCode, editPsw1, editPsw2}) {
        connect(field, &QLineEdit::textChanged, this, &DialogFindPassword::setupPage11);
    }
    connect(countdown, &CCodeCountdown::signalStopped, this, &DialogFindPassword::setupPage11);
    connect(CLoginManager::instance(false).get(), &CLoginManager::signalLogState, this,
            &DialogFindPassword::updateVerCodeState);
    setupPage11();
}

// The countdown and the success page's timer are children: they end with the dialog.
DialogFindPassword::~DialogFindPassword() = default;

void DialogFindPassword::setupUi()
{
    setupShell("DialogFindPassword");
    frameContent = addContentFrame();
    stkwidAll = new QStackedWidget(frameContent);
    stkwidAll->setObjectName(QStringLiteral("stkwidAll"));
    stkwidAll->setGeometry(0, 0, 426, 400);
    page1 = page(stkwidAll, "page1");

    labelTitle = label(page1, "labelTitle", QRect(0, 0, 426, 45), tr("找回密码"), Qt::AlignCenter);
    frameLine = new QFrame(page1);
    frameLine->setObjectName(QStringLiteral("frameLine"));
    frameLine->setGeometry(0, 44, 426, 1);
    stkwidMain = new QStackedWidget(page1);
    stkwidMain->setObjectName(QStringLiteral("stkwidMain"));
    stkwidMain->setGeometry(0, 45, 426, 355);

    page11 = page(stkwidMain, "page11");
    labelTip = messageLabel(page11, "labelTip", QRect(126, 15, 230, 16));
    labelPhone = caption(page11, "labelPhone", QRect(34, 40, 80, 40), tr("手机号码: "));
    editPhone = edit(page11, "editPhone", QRect(116, 40, 250, 40));
    labelVerCode = caption(page11, "labelVerCode", QRect(34, 90, 80, 40), tr("验证码: "));
    editVerCode = edit(page11, "editVerCode", QRect(116, 90, 150, 40));
    editVerCode->setPlaceholderText(tr("请输入6位验证码"));
    btnVerCode = button(page11, "btnVerCode", QRect(271, 90, 95, 40), tr("获取验证码"));
    labelPsw1 = caption(page11, "labelPsw1", QRect(34, 140, 80, 40), tr("新密码: "));
    editPsw1 = passwordEdit(page11, "editPsw1", QRect(116, 140, 250, 40));
    labelPsw2 = caption(page11, "labelPsw2", QRect(34, 190, 80, 40), tr("确认密码: "));
    editPsw2 = passwordEdit(page11, "editPsw2", QRect(116, 190, 250, 40));
    editPsw2->setPlaceholderText(tr("请再次输入新密码"));
    btnOK = button(page11, "btnOK", QRect(116, 245, 250, 40), tr("确  定"));
    btnBack = button(page11, "btnBack", QRect(336, 295, 35, 20), tr("登录"));
    btnBack->setToolTip(tr("返回登录界面"));

    page12 = page(stkwidMain, "page12");
    labelDonePic = label(page12, "labelDonePic", QRect(0, 70, 426, 80));
    labelDoneText = label(page12, "labelDoneText", QRect(0, 170, 426, 80),
                          tr("恭喜您成功找回密码\n\n3秒后自动跳转到登录窗口"), Qt::AlignCenter);

    btnClose = addCloseButton("btnClose");

    countdown = new CCodeCountdown(btnVerCode, CCodeCountdown::Style::RepeatsFirstValue, this);
}

void DialogFindPassword::applyFonts()
{
    const QFont base = labelTitle->font();
    setFonts(base, 3, {labelTitle, btnOK, labelDoneText});
    setFonts(base, 2,
             {labelPhone, labelVerCode, labelPsw1, labelPsw2, editPhone, editVerCode, editPsw1, editPsw2,
              btnVerCode});
    setFonts(base, 1, {labelTip, btnBack});
}

bool DialogFindPassword::checkPassword()
{
    QString tip;
    const bool ok =
        PasswordField::checkNewPassword(editPsw1->text(), editPsw2->text(), "DialogFindPassword", tip);
    labelTip->setText(tip);
    return ok;
}

void DialogFindPassword::setupPage11()
{
    const bool phoneComplete = editPhone->text().size() == 11;
    if (phoneComplete && !countdown->isRunning()) {
        setActionButtonEnabled(btnVerCode, true);
        btnVerCode->setText(tr("获取验证码"));
    } else {
        // A running countdown keeps its number.
        setActionButtonEnabled(btnVerCode, false);
    }
    const bool passwordOk = checkPassword();
    if (phoneComplete && editVerCode->text().size() == 6 && passwordOk) {
        setActionButtonEnabled(btnOK, true);
        btnOK->setText(tr("确  定"));
        labelTip->clear();
    } else {
        setActionButtonEnabled(btnOK, false);
    }
}

void DialogFindPassword::startTimer()
{
    countdown->start();
}

void DialogFindPassword::stopTimer()
{
    countdown->stop();
}

void DialogFindPassword::on_btnVerCode_clicked()
{
    startTimer();
    CLoginManager::instance(false)->sendVerCode(editPhone->text());
}

void DialogFindPassword::updateVerCodeState(QString errorCode, QString errorMsg)
{
    if (errorCode == QLatin1String("0")) {
        return;
    }
    stopTimer();
    labelTip->setText(errorMsg);
}

void DialogFindPassword::on_btnOK_clicked()
{
    if (!checkPassword()) {
        return;
    }
    setActionButtonEnabled(btnOK, false);
    btnOK->setText(tr("正在验证..."));
    const auto& tokens = CTokenManager::instance(false);
    if (!tokens->authCodeByVerCode(editPhone->text(), editVerCode->text(), 0)) {
        setupPage11();
        labelTip->setText(tokens->errorMsg());
        return;
    }
    btnOK->setText(tr("正在重置密码..."));
    const auto& passwords = CPasswordManager::instance(false);
    if (!passwords->resetPassword(editPsw1->text())) {
        setupPage11();
        labelTip->setText(passwords->errorMsg());
        return;
    }
    // The sign-in dialog that follows must not offer the old password.
    CLocalConfig::instance(false)->replaceRememberedPassword(editPhone->text(), editPsw1->text());
    showPage2();
}

void DialogFindPassword::showPage2()
{
    stkwidMain->setCurrentIndex(stkwidMain->count() - 1);
    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("doneCloseTimer"));
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &DialogFindPassword::closeAndToLogin);
    // Closed before the time is up: the user did not ask for the sign-in dialog.
    connect(this, &QDialog::finished, timer, &QTimer::stop);
    timer->start(kDoneCloseMs);
}

void DialogFindPassword::closeAndToLogin()
{
    close();
    emit loginBtnClicked();
}

void DialogFindPassword::on_btnBack_clicked()
{
    closeAndToLogin();
}

bool DialogFindPassword::eventFilter(QObject* watched, QEvent* event)
{
    if (PasswordField::isReturnRelease(event)) {
        if (watched == editPhone && editPhone->text().size() == 11) {
            btnVerCode->click();
            editVerCode->setFocus();
        } else if (watched == editVerCode && editVerCode->text().size() == 6) {
            editPsw1->setFocus();
        } else if (watched == editPsw1 && !editPsw1->text().isEmpty()) {
            editPsw2->setFocus();
        } else if (watched == editPsw2 && btnOK->isEnabled()) {
            btnOK->click();
        }
    }
    return QDialog::eventFilter(watched, event);
}
