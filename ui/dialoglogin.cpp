#include "ui/dialoglogin.h"

#include "account/loginmanager.h"
#include "core/localconfig.h"
#include "core/serviceerrors.h"

#include "ui/actionbutton.h"
#include "ui/codecountdown.h"
#include "ui/formwidgets.h"
#include "ui/passwordfield.h"
#include "ui/screenscale.h"
#include "ui/stylesheet.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QDebug>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

namespace {
enum Page
{
    ScanPage = 0,
    PasswordPage = 1,
    CodePage = 2,
};

QPushButton* makeButton(QWidget* parent, const char* name, const QRect& geometry,
                        const QString& text = QString())
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
    return button;
}

QPushButton* makeTab(QWidget* parent, const char* name, const QRect& geometry, const QString& text)
{
    QPushButton* button = makeButton(parent, name, geometry, text);
    button->setCheckable(true);
    button->setAutoExclusive(true);
    return button;
}
} // namespace

DialogLogin::DialogLogin(QWidget* parent) : AccountDialog(parent)
{
    setupUi();

    becomeChildDialog(true);

    buttonGroup = new QButtonGroup(this);
    buttonGroup->setExclusive(true);
    buttonGroup->addButton(scanBtn, ScanPage);
    buttonGroup->addButton(pswdBtn, PasswordPage);
    buttonGroup->addButton(authBtn, CodePage);
    pswdBtn->setChecked(true);

    QValidator* phone = PasswordField::validator(PasswordField::kPhonePattern, this);
    editPhone2->setValidator(phone);
    editPhone3->setValidator(phone);
    editPsw3->setValidator(PasswordField::validator(PasswordField::kVerCodePattern, this));
    btn_close_login_new->lower();
    labelTip1_1->hide();
    labelTip1_2->hide();
    regBtn1->hide();
    regBtn3->hide();
    for (QLineEdit* field : {editPhone2, editPhone3, editPsw2, editPsw3}) {
        PasswordField::prepareField(field, this);
    }

    applyStyleSheet(QStringLiteral("wid_dlglogin"), {this, page1, page2, page3},
                    "Can't open the style sheet file of wid_dlglogin.qss");

    countdown = new CCodeCountdown(codeBtn3, CCodeCountdown::Style::EndsAtSixtiethTick, this);
    editPhone2->setFocus();
    applyFonts();

    readConfig();
    // After readConfig: filling the password field must not forget the
    // remembered password.
    makeConnections();

    // A sign-in still waiting (the remembered-password one at start, or one
    // left behind by an earlier dialog) ends here: it would otherwise wait
    // beneath this dialog's loop, or finish beside the user's own.
    CLoginManager::instance(false)->cancelSignIn();
}

DialogLogin::~DialogLogin()
{
    stopTimer();
}

QString DialogLogin::rememberedPlaceholder()
{
    return tr("密码不应和此占位符雷同");
}

void DialogLogin::setupUi()
{
    setupShell("DialogLogin");
    frameContent = addContentFrame();

    stkwid = new QStackedWidget(frameContent);
    stkwid->setObjectName(QStringLiteral("stkwid"));
    stkwid->setGeometry(0, 45, 426, 355);

    scanBtn = makeTab(frameContent, "scanBtn", QRect(0, 0, 0, 45), tr("扫码登录"));
    pswdBtn = makeTab(frameContent, "pswdBtn", QRect(0, 0, 213, 45), tr("密码登录"));
    authBtn = makeTab(frameContent, "authBtn", QRect(213, 0, 213, 45), tr("验证码登录"));

    btn_close_login_new = addCloseButton("btn_close_login_new");

    // The scan page: nothing leads to it, its texts stay hidden.
    page1 = FormWidgets::page(stkwid, "page1");
    labelQRcode = FormWidgets::label(page1, "labelQRcode", QRect(138, 70, 150, 150));
    labelTip1_1 = FormWidgets::label(page1, "labelTip1_1", QRect(0, 229, 426, 31),
                                     tr("使用VantelorAPP扫码登录"), Qt::AlignCenter);
    labelTip1_2 = FormWidgets::label(page1, "labelTip1_2", QRect(0, 264, 426, 20),
                                     tr("如果您还没有帐号, 请点击     "), Qt::AlignCenter);
    regBtn1 = FormWidgets::button(page1, "regBtn1", QRect(268, 264, 35, 20), tr("注册"));

    page2 = FormWidgets::page(stkwid, "page2");
    labelLogo2 = FormWidgets::label(page2, "labelLogo2", QRect(148, 15, 130, 80));
    labelTip2 = FormWidgets::messageLabel(page2, "labelTip2", QRect(126, 110, 230, 16));
    labelPhone2 = FormWidgets::caption(page2, "labelPhone2", QRect(34, 130, 80, 40), tr("手机号码: "));
    editPhone2 = FormWidgets::edit(page2, "editPhone2", QRect(116, 130, 250, 40));
    labelPsw2 = FormWidgets::caption(page2, "labelPsw2", QRect(34, 180, 80, 40), tr("密码: "));
    editPsw2 = FormWidgets::edit(page2, "editPsw2", QRect(116, 180, 250, 40));
    editPsw2->setEchoMode(QLineEdit::Password);
    loginBtn2 = makeButton(page2, "loginBtn2", QRect(116, 230, 250, 40), tr("登 录"));
    checkBoxStore2 = new QCheckBox(tr("记住密码"), page2);
    checkBoxStore2->setObjectName(QStringLiteral("checkBoxStore2"));
    checkBoxStore2->setGeometry(120, 280, 109, 16);
    checkBoxStore2->setFocusPolicy(Qt::NoFocus);
    checkBoxStore2->setCursor(Qt::PointingHandCursor);
    checkBoxAutoLogin = new QCheckBox(tr("自动登录"), page2);
    checkBoxAutoLogin->setObjectName(QStringLiteral("checkBoxAutoLogin"));
    checkBoxAutoLogin->setGeometry(292, 280, 99, 16);
    checkBoxAutoLogin->setToolTip(tr("记住密码并选中此项后,下次启动Vantelor会自动进行登录"));
    checkBoxAutoLogin->setFocusPolicy(Qt::NoFocus);
    checkBoxAutoLogin->setCursor(Qt::PointingHandCursor);
    regBtn2 = FormWidgets::button(page2, "regBtn2", QRect(175, 320, 60, 20), tr("用户注册"));
    btnFindPsw = FormWidgets::button(page2, "btnFindPsw", QRect(250, 320, 60, 20), tr("找回密码"));
    btnFindPsw->setToolTip(tr("如果您忘记了密码，可以使用此功能重置密码"));

    page3 = FormWidgets::page(stkwid, "page3");
    labelLogo3 = FormWidgets::label(page3, "labelLogo3", QRect(148, 15, 130, 80));
    labelTip3 = FormWidgets::messageLabel(page3, "labelTip3", QRect(126, 110, 230, 16));
    labelPhone3 = FormWidgets::caption(page3, "labelPhone3", QRect(34, 130, 80, 40), tr("手机号码: "));
    editPhone3 = FormWidgets::edit(page3, "editPhone3", QRect(116, 130, 250, 40));
    labelPsw3 = FormWidgets::caption(page3, "labelPsw3", QRect(34, 180, 80, 40), tr("验证码: "));
    editPsw3 = FormWidgets::edit(page3, "editPsw3", QRect(116, 180, 150, 40));
    editPsw3->setPlaceholderText(tr("请输入6位验证码"));
    codeBtn3 = makeButton(page3, "codeBtn3", QRect(271, 180, 95, 40), tr("获取验证码"));
    loginBtn3 = makeButton(page3, "loginBtn3", QRect(116, 230, 250, 40), tr("登 录"));
    regBtn3 = FormWidgets::button(page3, "regBtn3", QRect(312, 295, 60, 20), tr("用户注册"));

    stkwid->setCurrentIndex(PasswordPage);
}

void DialogLogin::applyFonts()
{
    const QFont base = pswdBtn->font();
    setFonts(base, 3, {scanBtn, pswdBtn, authBtn, loginBtn2, loginBtn3});
    setFonts(base, 2,
             {labelTip1_1, editPhone2, editPsw2, editPhone3, editPsw3, codeBtn3, labelPhone2, labelPhone3,
              labelPsw2, labelPsw3});
    setFonts(base, 1,
             {regBtn1, labelTip1_2, labelTip2, checkBoxStore2, checkBoxAutoLogin, regBtn2, labelTip3, regBtn3,
              btnFindPsw});
}

void DialogLogin::makeConnections()
{
    connect(editPsw2, &QLineEdit::textChanged, this, &DialogLogin::clearPswdConfig);
    // The remembered password belongs to the phone it was remembered with.
    connect(editPhone2, &QLineEdit::textChanged, this, &DialogLogin::dropRememberedPswd);
    connect(regBtn1, &QPushButton::clicked, this, &DialogLogin::showSignupDlg);
    connect(regBtn2, &QPushButton::clicked, this, &DialogLogin::showSignupDlg);
    connect(regBtn3, &QPushButton::clicked, this, &DialogLogin::showSignupDlg);
    connect(btnFindPsw, &QPushButton::clicked, this, &DialogLogin::on_btnFindPsw_clicked);
    connect(checkBoxStore2, &QCheckBox::clicked, this, &DialogLogin::on_checkBoxStore2_clicked);
    connect(checkBoxAutoLogin, &QCheckBox::clicked, this, &DialogLogin::on_checkBoxAutoLogin_clicked);
    connect(editPhone2, &QLineEdit::textChanged, this, &DialogLogin::setupPage2);
    connect(editPsw2, &QLineEdit::textChanged, this, &DialogLogin::setupPage2);
    connect(editPhone3, &QLineEdit::textChanged, this, &DialogLogin::setupPage3);
    connect(editPsw3, &QLineEdit::textChanged, this, &DialogLogin::setupPage3);
    connect(editPhone3, &QLineEdit::textChanged, this, &DialogLogin::stopTimer);
    connect(countdown, &CCodeCountdown::signalStopped, this, &DialogLogin::setupPage3);
    connect(loginBtn2, &QPushButton::clicked, this, &DialogLogin::loginPswd);
    connect(codeBtn3, &QPushButton::clicked, this, &DialogLogin::sendVerCode);
    connect(loginBtn3, &QPushButton::clicked, this, &DialogLogin::loginAuth);
    connect(buttonGroup, &QButtonGroup::idClicked, stkwid, &QStackedWidget::setCurrentIndex);
    connect(buttonGroup, &QButtonGroup::idClicked, this, &DialogLogin::clearState);
    connect(CLoginManager::instance(false).get(), &CLoginManager::signalLogState, this,
            &DialogLogin::updateState);
}

bool DialogLogin::readConfig()
{
    CLocalConfig& config = *CLocalConfig::instance(false);
    editPhone2->setText(config.encryptedValue(CLocalConfig::kUserPhone1, QString()));
    editPhone3->setText(config.encryptedValue(CLocalConfig::kUserPhone2, QString()));

    const bool remember = config.value(CLocalConfig::kRememberPswd, false).toBool();
    const bool autoLogin = config.value(CLocalConfig::kAutoLogin, false).toBool();
    checkBoxStore2->setChecked(remember);
    checkBoxAutoLogin->setEnabled(remember);
    checkBoxAutoLogin->setChecked(autoLogin);

    QString password;
    if (remember) {
        const QString stored = config.encryptedValue(CLocalConfig::kTime, QString());
        if (!stored.isEmpty() && CLocalConfig::rememberedForDialog(QDateTime::fromString(stored, Qt::ISODate),
                                                                   QDateTime::currentDateTime())) {
            password = config.encryptedValue(CLocalConfig::kUserPswd, QString());
        }
    }
    if (password.isEmpty()) {
        rememberedPswd.clear();
        editPsw2->clear();
        config.remove(CLocalConfig::kUserPswd);
    } else {
        rememberedPswd = password;
        editPsw2->setText(rememberedPlaceholder());
    }

    setupPage2();
    setupPage3();
    return true;
}

bool DialogLogin::saveConfig()
{
    CLocalConfig& config = *CLocalConfig::instance(false);
    if (!editPhone2->text().isEmpty()) {
        config.setEncryptedValue(CLocalConfig::kUserPhone1, editPhone2->text());
    }
    if (!editPhone3->text().isEmpty()) {
        config.setEncryptedValue(CLocalConfig::kUserPhone2, editPhone3->text());
    }
    if (stkwid->currentIndex() != PasswordPage) {
        return true;
    }
    if (checkBoxStore2->isChecked()) {
        const QString typed = editPsw2->text();
        if (typed != rememberedPlaceholder() && rememberedPswd.isEmpty()) {
            config.rememberPassword(typed);
        }
        config.setEncryptedValue(CLocalConfig::kTime, QDateTime::currentDateTime().toString(Qt::ISODate));
    }
    config.setValue(CLocalConfig::kRememberPswd, checkBoxStore2->isChecked());
    config.setValue(CLocalConfig::kAutoLogin, checkBoxAutoLogin->isChecked());
    return true;
}

void DialogLogin::clearPswdConfig()
{
    rememberedPswd.clear();
}

void DialogLogin::dropRememberedPswd()
{
    if (!rememberedPswd.isEmpty() && editPsw2->text() == rememberedPlaceholder()) {
        editPsw2->clear();
    }
}

void DialogLogin::stopFollowingSignIn()
{
    // The main window keeps this dialog alive, hidden, while the next one
    // runs: a sign-in made there is not ours to save.
    disconnect(CLoginManager::instance(false).get(), nullptr, this, nullptr);
}

void DialogLogin::showSignupDlg()
{
    stopFollowingSignIn();
    close();
    emit signupBtnClicked();
}

void DialogLogin::on_btnFindPsw_clicked()
{
    stopFollowingSignIn();
    close();
    emit findPswBtnClicked();
}

void DialogLogin::on_checkBoxStore2_clicked()
{
    const bool checked = checkBoxStore2->isChecked();
    CLocalConfig::instance(false)->setValue(CLocalConfig::kRememberPswd, checked);
    checkBoxAutoLogin->setEnabled(checked);
}

void DialogLogin::on_checkBoxAutoLogin_clicked()
{
    CLocalConfig::instance(false)->setValue(CLocalConfig::kAutoLogin, checkBoxAutoLogin->isChecked());
}

void DialogLogin::setupPage2()
{
    QFont font = editPsw2->font();
    font.setPointSize(fontPointSize(editPsw2->text().isEmpty() ? 2 : 1));
    editPsw2->setFont(font);
    setActionButtonEnabled(loginBtn2, editPhone2->text().length() == 11 && !editPsw2->text().isEmpty());
    loginBtn2->setText(tr("登 录"));
    labelTip2->clear();
    labelTip3->clear();
}

void DialogLogin::setupPage3()
{
    if (editPhone3->text().length() != 11) {
        setActionButtonEnabled(codeBtn3, false);
        setActionButtonEnabled(loginBtn3, false);
    } else {
        if (!countdown->isRunning()) {
            setActionButtonEnabled(codeBtn3, true);
        }
        setActionButtonEnabled(loginBtn3, editPsw3->text().length() == 6);
    }
    loginBtn3->setText(tr("登 录"));
    labelTip2->clear();
    labelTip3->clear();
}

void DialogLogin::startTimer()
{
    countdown->start();
}

void DialogLogin::stopTimer()
{
    countdown->stop();
}

void DialogLogin::loginPswd()
{
    setActionButtonEnabled(loginBtn2, false);
    loginBtn2->setText(tr("正在登录..."));
    CLoginManager* login = CLoginManager::instance(false).get();
    if (editPsw2->text() == rememberedPlaceholder() && !rememberedPswd.isEmpty()) {
        login->loginPswd(editPhone2->text(), rememberedPswd, false);
    } else {
        login->loginPswd(editPhone2->text(), editPsw2->text(), true);
    }
}

void DialogLogin::sendVerCode()
{
    startTimer();
    CLoginManager::instance(false)->sendVerCode(editPhone3->text());
}

void DialogLogin::loginAuth()
{
    setActionButtonEnabled(loginBtn3, false);
    loginBtn3->setText(tr("正在登录..."));
    CLoginManager::instance(false)->loginVer(editPhone3->text(), editPsw3->text());
}

void DialogLogin::clearState()
{
    updateState(QStringLiteral("-1"), QStringLiteral("0"));
}

void DialogLogin::showError(const QString& text)
{
    labelTip2->setText(text);
    labelTip3->setText(text);
}

void DialogLogin::updateState(QString errorCode, QString errorMsg)
{
    if (stkwid->currentIndex() == PasswordPage) {
        setupPage2();
    } else if (stkwid->currentIndex() == CodePage) {
        stopTimer();
        setupPage3();
    }

    if (errorCode == QLatin1String("-1") || errorCode == QLatin1String("200")) {
        showError(QString());
    } else if (errorCode == QLatin1String("0")) {
        showError(QString());
        saveConfig();
        close();
    } else if (errorCode == QLatin1String("1")) {
        showError(tr("无法连接到服务器"));
    } else if (errorCode == QLatin1String(ServiceErrors::kAccountLocked)) {
        showError(tr("当前账号已被锁定，请稍后登录"));
    } else if (errorCode == QLatin1String(ServiceErrors::kWrongPassword)) {
        showError(tr("手机号或密码错误，请重新输入"));
    } else if (errorCode == QLatin1String(ServiceErrors::kSmsSignInFirst)) {
        authBtn->setChecked(true);
        stkwid->setCurrentIndex(CodePage);
        editPhone3->setText(editPhone2->text());
        showError(tr("请先使用验证码登录"));
    } else if (errorMsg == QString::fromUtf8(ServiceErrors::kUnknownAccountText)) {
        showError(tr("请先注册Vantelor账号再登录"));
    } else {
        if (errorMsg.isEmpty()) {
            errorMsg = tr("未知错误,错误码:") + errorCode;
        }
        showError(errorMsg);
    }
}

bool DialogLogin::eventFilter(QObject* watched, QEvent* event)
{
    if (PasswordField::isReturnRelease(event)) {
        if (watched == editPhone2) {
            if (editPhone2->text().length() == 11) {
                editPsw2->setFocus();
            }
        } else if (watched == editPsw2) {
            if (loginBtn2->isEnabled()) {
                loginPswd();
            }
        } else if (watched == editPhone3) {
            if (editPhone3->text().length() == 11) {
                editPsw3->setFocus();
                // Asks again even while the countdown runs, without restarting it.
                sendVerCode();
            }
        } else if (watched == editPsw3) {
            if (loginBtn3->isEnabled()) {
                loginAuth();
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DialogLogin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!isAncestorOf(QApplication::focusWidget())) {
        editPhone2->setFocus();
    }
    updateState(QStringLiteral("-1"), QStringLiteral("0"));
}
