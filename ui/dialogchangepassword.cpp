#include "ui/dialogchangepassword.h"

#include "account/logininfo.h"
#include "account/passwordmanager.h"
#include "core/localconfig.h"
#include "ui/actionbutton.h"
#include "ui/formwidgets.h"
#include "ui/passwordfield.h"
#include "ui/stylesheet.h"

#include <QApplication>
#include <QDebug>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

DialogChangePassword::DialogChangePassword(QWidget* parent) : AccountDialog(parent)
{
    setupUi();

    becomeChildDialog(true);
    stkwidMain->setCurrentIndex(0);

    QValidator* newPassword = PasswordField::validator(PasswordField::kNewPasswordPattern, this);
    editPsw1->setValidator(newPassword);
    editPsw2->setValidator(newPassword);
    btnClose->lower();
    for (QLineEdit* field : {editPswOld, editPsw1, editPsw2}) {
        PasswordField::prepareField(field, this);
    }

    applyStyleSheet(QStringLiteral("wid_dlgchangepassword"), {this, page1, page11, page12},
                    "Can't open the style sheet file of wid_dlgchangepassword.qss");

    editPswOld->setFocus();
    applyFonts();

    connect(editPswOld, &QLineEdit::textChanged, this, &DialogChangePassword::setupPage11);
    connect(editPsw1, &QLineEdit::textChanged, this, &DialogChangePassword::setupPage11);
    connect(editPsw2, &QLineEdit::textChanged, this, &DialogChangePassword::setupPage11);
    connect(btnOK, &QPushButton::clicked, this, &DialogChangePassword::on_btnOK_clicked);
    setupPage11();
}

void DialogChangePassword::setupUi()
{
    setupShell("DialogChangePassword");
    frameContent = addContentFrame();

    stkwidAll = new QStackedWidget(frameContent);
    stkwidAll->setObjectName(QStringLiteral("stkwidAll"));
    stkwidAll->setGeometry(0, 0, 426, 400);
    page1 = FormWidgets::page(stkwidAll, "page1");

    labelTitle =
        FormWidgets::label(page1, "labelTitle", QRect(0, 0, 426, 45), tr("修改密码"), Qt::AlignCenter);
    frameLine = new QFrame(page1);
    frameLine->setObjectName(QStringLiteral("frameLine"));
    frameLine->setGeometry(0, 44, 426, 1);

    stkwidMain = new QStackedWidget(page1);
    stkwidMain->setObjectName(QStringLiteral("stkwidMain"));
    stkwidMain->setGeometry(0, 45, 426, 355);
    page11 = FormWidgets::page(stkwidMain, "page11");
    page12 = FormWidgets::page(stkwidMain, "page12");

    btnClose = addCloseButton("btnClose");

    labelTip = FormWidgets::messageLabel(page11, "labelTip", QRect(126, 24, 230, 16));
    labelPswOld = FormWidgets::caption(page11, "labelPswOld", QRect(34, 50, 80, 40), tr("原密码: "));
    editPswOld = FormWidgets::passwordEdit(page11, "editPswOld", QRect(116, 50, 250, 40));
    labelPsw1 = FormWidgets::caption(page11, "labelPsw1", QRect(34, 110, 80, 40), tr("新密码: "));
    // No length limit of its own: the validator stops it at 18.
    editPsw1 = FormWidgets::edit(page11, "editPsw1", QRect(116, 110, 250, 40));
    editPsw1->setEchoMode(QLineEdit::Password);
    labelPsw2 = FormWidgets::caption(page11, "labelPsw2", QRect(34, 170, 80, 40), tr("确认密码: "));
    editPsw2 = FormWidgets::passwordEdit(page11, "editPsw2", QRect(116, 170, 250, 40));
    editPsw2->setPlaceholderText(tr("请再次输入新密码"));
    btnOK = new QPushButton(tr("确  定"), page11);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(116, 230, 250, 40);
    btnOK->setFlat(true);
    btnOK->setAutoDefault(false);
    setTabOrder(editPswOld, editPsw1);
    setTabOrder(editPsw1, editPsw2);
    setTabOrder(editPsw2, btnOK);

    labelDonePic = FormWidgets::label(page12, "labelDonePic", QRect(0, 70, 426, 80));
    labelDoneText = FormWidgets::label(page12, "labelDoneText", QRect(0, 170, 426, 40),
                                       tr("恭喜你成功修改密码!"), Qt::AlignCenter);
    stkwidAll->setCurrentIndex(0);
    stkwidMain->setCurrentIndex(0);
}

void DialogChangePassword::applyFonts()
{
    const QFont base = labelTitle->font();
    setFonts(base, 3, {labelTitle, btnOK, labelDoneText});
    setFonts(base, 2, {labelPswOld, labelPsw1, labelPsw2, editPswOld, editPsw1, editPsw2});
    setFonts(base, 1, {labelTip});
}

bool DialogChangePassword::checkPassword()
{
    const QString p1 = editPsw1->text();
    const QString p2 = editPsw2->text();
    QString tip;
    bool ok = false;
    if (p1.isEmpty() || p2.isEmpty()) {
    } else if (p1 != p2) {
        tip = tr("两次输入的新密码不一致");
    } else if (p1.length() < 8) {
        tip = tr("新密码长度不能少于8位");
    } else if (p1.length() > 18) {
        tip = tr("新密码长度不能大于18位");
    } else if (p1 == editPswOld->text()) {
        tip = tr("新密码不能和原密码相同");
    } else {
        ok = true;
    }
    labelTip->setText(tip);
    return ok;
}

void DialogChangePassword::setupPage11()
{
    const bool ok = checkPassword();
    if (ok && !editPswOld->text().isEmpty()) {
        setActionButtonEnabled(btnOK, true);
        btnOK->setText(tr("确  定"));
        labelTip->clear();
    } else {
        setActionButtonEnabled(btnOK, false);
    }
}

void DialogChangePassword::on_btnOK_clicked()
{
    if (!checkPassword()) {
        return;
    }
    setActionButtonEnabled(btnOK, false);
    btnOK->setText(tr("正在修改密码..."));
    CPasswordManager& manager = *CPasswordManager::instance(false);
    if (manager.changePassword(editPswOld->text(), editPsw1->text())) {
        // A remembered password of this account would now be refused at the
        // next automatic sign-in.
        CLocalConfig::instance(false)->replaceRememberedPassword(CLoginInfo::instance()->phone,
                                                                 editPsw1->text());
        showPage2();
    } else {
        setupPage11();
        labelTip->setText(manager.errorMsg());
    }
}

void DialogChangePassword::showPage2()
{
    stkwidMain->setCurrentIndex(stkwidMain->count() - 1);
    // A child: it dies with the dialog when that is closed earlier.
    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("doneCloseTimer"));
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, &DialogChangePassword::close);
    timer->start(kDoneCloseMs);
}

bool DialogChangePassword::eventFilter(QObject* watched, QEvent* event)
{
    if (PasswordField::isReturnRelease(event)) {
        if (watched == editPswOld) {
            if (!editPswOld->text().isEmpty()) {
                editPsw1->setFocus();
            }
        } else if (watched == editPsw1) {
            if (!editPsw1->text().isEmpty()) {
                editPsw2->setFocus();
            }
        } else if (watched == editPsw2) {
            if (btnOK->isEnabled()) {
                btnOK->click();
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DialogChangePassword::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!isAncestorOf(QApplication::focusWidget())) {
        editPswOld->setFocus();
    }
}
