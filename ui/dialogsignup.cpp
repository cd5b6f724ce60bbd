#include "ui/dialogsignup.h"

#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "account/passwordmanager.h"
#include "account/signupmanager.h"

#include "ui/actionbutton.h"
#include "ui/codecountdown.h"
#include "ui/formwidgets.h"
#include "ui/passwordfield.h"
#include "ui/stylesheet.h"
#include "ui/uilog.h"

#include <QDebug>
#include <QFrame>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

using namespace FormWidgets;

DialogSignup::DialogSignup(QWidget* parent) : AccountDialog(parent)
{
    setupUi();
    stkwidAll->setCurrentIndex(0);
    becomeChildDialog(false);
    stkwidSignup->setCurrentIndex(0);

    editPhone11->setValidator(PasswordField::validator(PasswordField::kPhonePattern, this));
    editPsw11->setValidator(PasswordField::validator(PasswordField::kVerCodePattern, this));
    QValidator* passwordValidator = PasswordField::validator(PasswordField::kNewPasswordPattern, this);
    editPsw12_1->setValidator(passwordValidator);
    editPsw12_2->setValidator(passwordValidator);
    for (QLineEdit* field : {editPhone11, editPsw11, editPsw12_1, editPsw12_2}) {
        PasswordField::prepareField(field, this);
    }
    editName->installEventFilter(this);
    btnClose->lower();

    setupPage11();
    setupPage12();

    applyStyleSheet(QStringLiteral("wid_dlgsignup"), {this, pageSignup, page11, page12},
                    "Can't open the style sheet file of wid_dlgsignup.qss");

    editPhone11->setFocus();
    applyFonts();

    QMetaObject::connectSlotsByName(this);
    connect(editPhone11, &QLineEdit::textChanged, this, &DialogSignup::stopTimer);
    for (QLineEdit* field : {editPhone11, editPsw11}) {
        connect(field, &QLineEdit::textChanged, this, &DialogSignup::setupPage11);
    }
    for (QLineEdit* field : {editName, editPsw12_1, editPsw12_2}) {
        connect(field, &QLineEdit::textChanged, this, &DialogSignup::setupPage12);
    }
    connect(countdown, &CCodeCountdown::signalStopped, this, &DialogSignup::setupPage11);
    connect(CSignupManager::instance(false).get(), &CSignupManager::signalSignupState, this,
            &DialogSignup::updatePage11State);
}

// The countdown is a child: it ends with the dialog.
DialogSignup::~DialogSignup() = default;

void DialogSignup::setupUi()
{
    setupShell("DialogSignup");
    setFocusPolicy(Qt::StrongFocus);
    frameContent = addContentFrame();

    stkwidAll = new QStackedWidget(frameContent);
    stkwidAll->setObjectName(QStringLiteral("stkwidAll"));
    stkwidAll->setGeometry(0, 0, 426, 400);
    pageSignup = page(stkwidAll, "pageSignup");

    labelSignup = label(pageSignup, "labelSignup", QRect(0, 0, 426, 45), tr("注册"), Qt::AlignCenter);
    frameLine = new QFrame(pageSignup);
    frameLine->setObjectName(QStringLiteral("frameLine"));
    frameLine->setGeometry(0, 44, 426, 1);

    stkwidSignup = new QStackedWidget(pageSignup);
    stkwidSignup->setObjectName(QStringLiteral("stkwidSignup"));
    stkwidSignup->setGeometry(0, 45, 426, 355);
    page11 = page(stkwidSignup, "page11");
    page12 = page(stkwidSignup, "page12");
    page13 = page(stkwidSignup, "page13");
    buildStep1(page11);
    buildStep2(page12);
    buildStep3(page13);

    btnClose = addCloseButton("btnClose");

    countdown = new CCodeCountdown(codeBtn11, CCodeCountdown::Style::RepeatsFirstValue, this);
}

void DialogSignup::buildStep1(QWidget* page)
{
    labelStep11 = label(page, "labelStep11", QRect(0, 20, 426, 65));
    labelTip11 = messageLabel(page, "labelTip11", QRect(126, 105, 230, 16));
    labelPhone11 = caption(page, "labelPhone11", QRect(34, 125, 80, 40), tr("手机号码: "));
    editPhone11 = edit(page, "editPhone11", QRect(116, 125, 250, 40));
    labelPsw11 = caption(page, "labelPsw11", QRect(34, 175, 80, 40), tr("验证码: "));
    editPsw11 = edit(page, "editPsw11", QRect(116, 175, 150, 40));
    editPsw11->setPlaceholderText(tr("请输入6位验证码"));
    codeBtn11 = button(page, "codeBtn11", QRect(271, 175, 95, 40), tr("获取验证码"));
    signBtn11 = button(page, "signBtn11", QRect(116, 230, 250, 40), tr("注  册"));
    loginBtn11 = button(page, "loginBtn11", QRect(336, 280, 35, 20), tr("登录"));
    loginBtn11->setToolTip(tr("返回登录界面"));
}

void DialogSignup::buildStep2(QWidget* page)
{
    labelStep12 = label(page, "labelStep12", QRect(0, 20, 426, 65));
    labelTip12 = messageLabel(page, "labelTip12", QRect(126, 80, 230, 16));
    labelName12 = caption(page, "labelName12", QRect(34, 100, 80, 40), tr("姓名: "));
    editName = edit(page, "editName", QRect(116, 100, 250, 40));
    editName->setMaxLength(16);
    labelPsw12 = caption(page, "labelPsw12", QRect(36, 150, 80, 40), tr("密码: "));
    editPsw12_1 = passwordEdit(page, "editPsw12_1", QRect(116, 150, 250, 40));
    editPsw12_1->setPlaceholderText(tr("请输入要设置的密码"));
    labelPsw12_2 = caption(page, "labelPsw12_2", QRect(34, 200, 80, 40), tr("确认密码: "));
    editPsw12_2 = passwordEdit(page, "editPsw12_2", QRect(116, 200, 250, 40));
    editPsw12_2->setPlaceholderText(tr("请再次输入密码"));
    signupBtn12 = button(page, "signupBtn12", QRect(116, 250, 250, 40), tr("确  定"));
    skipBtn12 = button(page, "skipBtn12", QRect(290, 300, 80, 20), tr("跳过此步骤"));
    skipBtn12->setToolTip(tr("可以稍后再设置密码，在设置密码前，您只能使用验证码登录。"));
}

void DialogSignup::buildStep3(QWidget* page)
{
    labelStep13 = label(page, "labelStep13", QRect(0, 20, 426, 65));
    labelDonePic = label(page, "labelDonePic", QRect(0, 120, 426, 80));
    labelDoneText =
        label(page, "labelDoneText", QRect(0, 220, 426, 40), tr("恭喜你注册成功!"), Qt::AlignCenter);
}

void DialogSignup::applyFonts()
{
    const QFont base = labelSignup->font();
    setFonts(base, 3, {labelSignup, signBtn11, signupBtn12, labelDoneText});
    setFonts(base, 2,
             {labelPhone11, labelPsw11, labelName12, labelPsw12, labelPsw12_2, editPhone11, editPsw11,
              editName, editPsw12_1, editPsw12_2, codeBtn11});
    // The error line of step 2 is as small as that of step 1: it has 16 pixels.
    setFonts(base, 1, {labelTip11, labelTip12, loginBtn11});
}

void DialogSignup::clearState()
{
    updatePage11State(QStringLiteral("-1"), QStringLiteral("0"));
}

// --- Step 1: the phone number, its SMS code and the new account -------------
void DialogSignup::setupPage11()
{
    const bool phoneComplete = editPhone11->text().size() == 11;
    setActionButtonEnabled(codeBtn11, phoneComplete && !countdown->isRunning());
    setActionButtonEnabled(signBtn11, phoneComplete && editPsw11->text().size() == 6);
    labelTip11->clear();
    signBtn11->setText(tr("注  册"));
}

void DialogSignup::startTimer()
{
    countdown->start();
}

void DialogSignup::stopTimer()
{
    countdown->stop();
}

void DialogSignup::on_codeBtn11_clicked()
{
    startTimer();
    CSignupManager::instance(false)->sendVerCode(editPhone11->text());
}

void DialogSignup::on_signBtn11_clicked()
{
    setActionButtonEnabled(signBtn11, false);
    signBtn11->setText(tr("正在注册账号..."));
    CSignupManager::instance(false)->preCreateAccount(editPhone11->text(), editPsw11->text());
}

void DialogSignup::on_loginBtn11_clicked()
{
    close();
    emit loginBtnClicked();
}

void DialogSignup::updatePage11State(QString errorCode, QString errorMsg)
{
    qCDebug(lcUi).noquote() << "DialogSignup updatePage11State: errorCode:" << errorCode
                            << "errorMsg:" << errorMsg;
    if (errorCode == QLatin1String("-1")) {
        labelTip11->clear();
        labelTip12->clear();
        setupPage11();
    } else if (errorCode == QLatin1String("1") || errorCode == QLatin1String("3")) {
        stopTimer();
        setupPage11();
        if (errorMsg == QStringLiteral("登录验证失败")) {
            errorMsg = tr("验证码验证失败");
        }
        labelTip11->setText(errorMsg);
    } else if (errorCode == QLatin1String("4")) {
        stkwidSignup->setCurrentIndex(1);
        editName->setFocus();
    }
}

// --- Step 2: password and name ---------------------------------------------
bool DialogSignup::checkPassword()
{
    QString tip;
    const bool ok =
        PasswordField::checkNewPassword(editPsw12_1->text(), editPsw12_2->text(), "DialogSignup", tip);
    labelTip12->setText(tip);
    return ok;
}

void DialogSignup::setupPage12()
{
    const bool ready = checkPassword() && !editName->text().isEmpty();
    setActionButtonEnabled(signupBtn12, ready);
    if (ready) {
        labelTip12->clear();
    }
    signupBtn12->setText(tr("确  定"));
}

void DialogSignup::on_signupBtn12_clicked()
{
    setActionButtonEnabled(signupBtn12, false);
    if (!checkPassword()) {
        return;
    }
    signupBtn12->setText(tr("正在设置..."));
    const auto& passwords = CPasswordManager::instance(false);
    if (!passwords->resetPassword(editPsw12_1->text())) {
        setupPage12();
        labelTip12->setText(passwords->errorMsg());
        return;
    }
    connect(CLoginManager::instance(false).get(), &CLoginManager::signalLogState, this,
            &DialogSignup::updatePage12State, Qt::UniqueConnection);
    CLoginManager::instance(false)->loginByToken();
}

void DialogSignup::showNameFailure(const QString& tip)
{
    setupPage12();
    labelTip12->setText(tip);
}

void DialogSignup::updatePage12State(QString errorCode, QString errorMsg)
{
    qCDebug(lcUi).noquote() << "DialogSignup updatePage12State: errorCode:" << errorCode
                            << "errorMsg:" << errorMsg;
    if (errorCode == QLatin1String("-1")) {
        labelTip12->clear();
        setupPage12();
        return;
    }
    const QString noName = tr("密码已设置成功,但无法设置姓名");
    if (errorCode != QLatin1String("0")) {
        showNameFailure(noName);
        return;
    }
    const auto& info = CLoginInfo::instance(false);
    QJsonDocument person = QJsonDocument::fromJson(info->personJson.toUtf8());
    if (person.isEmpty()) {
        showNameFailure(noName);
        return;
    }
    QJsonObject object = person.object();
    object.insert(QStringLiteral("name"), editName->text());
    person.setObject(object);
    if (person.isEmpty()) {
        showNameFailure(noName);
        return;
    }
    const QString personJson = QString::fromUtf8(person.toJson(QJsonDocument::Compact));
    if (!CPasswordManager::instance(false)->modifyProfile(personJson)) {
        showNameFailure(tr("密码已设置成功,但姓名设置失败"));
        return;
    }
    info->name = editName->text();
    info->personJson = personJson;
    showPage3();
}

void DialogSignup::on_skipBtn12_clicked()
{
    showPage3();
}

// --- Step 3 ------------------------------------------------------------------
void DialogSignup::showPage3()
{
    stkwidSignup->setCurrentIndex(2);
    QTimer::singleShot(kDoneCloseMs, this, &DialogSignup::close);
}

// --- Keys ----------------------------------------------------------------------
bool DialogSignup::eventFilter(QObject* watched, QEvent* event)
{
    if (PasswordField::isReturnRelease(event)) {
        if (watched == editPhone11 && editPhone11->text().size() == 11) {
            codeBtn11->click();
            editPsw11->setFocus();
        } else if (watched == editPsw11 && editPsw11->text().size() == 6) {
            signBtn11->click();
        } else if (watched == editName && !editName->text().isEmpty()) {
            editPsw12_1->setFocus();
        } else if (watched == editPsw12_1 && !editPsw12_1->text().isEmpty()) {
            editPsw12_2->setFocus();
        } else if (watched == editPsw12_2 && signupBtn12->isEnabled()) {
            signupBtn12->click();
        }
    }
    return QDialog::eventFilter(watched, event);
}
