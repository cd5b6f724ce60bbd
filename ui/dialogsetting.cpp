#include "ui/dialogsetting.h"

#include "account/loginmanager.h"

#include "ui/dialogplacement.h"
#include "ui/screenscale.h"
#include "ui/stylesheet.h"
#include "ui/userphoto.h"
#include "ui/windowmain.h"

#include <QComboBox>
#include <QDebug>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

DialogSetting::DialogSetting(QWidget* parent) : QDialog(parent)
{
    setupUi();
    // Only the frameless flag: the dialog is a child of the main window and
    // lies over its grey mask.
    setWindowFlags(Qt::FramelessWindowHint);
    setWindowModality(Qt::WindowModal);
    relocateToCenter();

    cbx_coms->setEditable(true);
    cbx_coms->lineEdit()->setReadOnly(true);
    cbx_coms->lineEdit()->setAlignment(Qt::AlignCenter);
    userPhoto_set->setEllipseMask(false);
    userPhoto_set->setMaskPic(QStringLiteral(":/wid/res/login/userHeadMask_2.png"));
    btn_set_set->setFocus();
    applyFonts();

    applyStyleSheet(QStringLiteral("wid_dlgsetting"), {this},
                    "Can't open the style sheet file of wid_dlgsetting.qss");

    updateInfo();
    connect(btn_set_set, &QPushButton::clicked, this, &DialogSetting::onBtnSetClicked);
    connect(btn_close_set, &QPushButton::clicked, this, &DialogSetting::close);
    connect(cbx_coms, &QComboBox::currentTextChanged, this, &DialogSetting::onComChanged);
    connectLoginManager();
    QTimer::singleShot(40, this, &DialogSetting::resizeCombox);
}

void DialogSetting::setupUi()
{
    setObjectName(QStringLiteral("DialogSetting"));
    setAttribute(Qt::WA_StyledBackground);
    resize(430, 406);
    setWindowTitle(tr("设置"));
    QFont dialogFont;
    dialogFont.setFamily(QStringLiteral("Microsoft YaHei"));
    setFont(dialogFont);

    title_set = new QLabel(tr("个人信息"), this);
    title_set->setObjectName(QStringLiteral("title_set"));
    title_set->setGeometry(138, 0, 154, 45);
    title_set->setAlignment(Qt::AlignCenter);

    frameLine = new QFrame(this);
    frameLine->setObjectName(QStringLiteral("frameLine"));
    frameLine->setGeometry(0, 44, 430, 1);

    btn_close_set = new QPushButton(this);
    btn_close_set->setObjectName(QStringLiteral("btn_close_set"));
    btn_close_set->setGeometry(400, 15, 14, 14);
    btn_close_set->setFlat(true);
    btn_close_set->setToolTip(tr("关闭"));
    btn_close_set->setCursor(Qt::PointingHandCursor);
    btn_close_set->setFocusPolicy(Qt::NoFocus);
    btn_close_set->setAutoDefault(false);

    userPhoto_set = new CUserPhoto(this);
    userPhoto_set->setObjectName(QStringLiteral("userPhoto_set"));
    userPhoto_set->setGeometry(165, 94, 100, 100);

    useName_set = new QLabel(this);
    useName_set->setObjectName(QStringLiteral("useName_set"));
    useName_set->setGeometry(0, 200, 430, 30);
    useName_set->setAlignment(Qt::AlignCenter);
    // Names come from the service: plain text, never markup.
    useName_set->setTextFormat(Qt::PlainText);

    useCom_set = new QLabel(this);
    useCom_set->setObjectName(QStringLiteral("useCom_set"));
    useCom_set->setGeometry(0, 230, 430, 30);
    useCom_set->setAlignment(Qt::AlignCenter);
    useCom_set->setTextFormat(Qt::PlainText);

    cbx_coms = new QComboBox(this);
    cbx_coms->setObjectName(QStringLiteral("cbx_coms"));
    cbx_coms->setGeometry(0, 230, 79, 30);
    cbx_coms->setFixedHeight(30);
    cbx_coms->setFocusPolicy(Qt::ClickFocus);
    cbx_coms->setToolTip(tr("所属公司"));
    cbx_coms->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    label_tip = new QLabel(this);
    label_tip->setObjectName(QStringLiteral("label_tip"));
    label_tip->setGeometry(0, 260, 430, 30);
    label_tip->setTextFormat(Qt::PlainText);
    label_tip->setAlignment(Qt::AlignCenter);

    btn_set_set = new QPushButton(this);
    btn_set_set->setObjectName(QStringLiteral("btn_set_set"));
    btn_set_set->setGeometry(50, 315, 330, 45);
    btn_set_set->setCursor(Qt::PointingHandCursor);
    btn_set_set->setAutoDefault(false);
}

void DialogSetting::applyFonts()
{
    QFont font = title_set->font();
    font.setPointSize(fontPointSize(3));
    title_set->setFont(font);
    btn_set_set->setFont(font);
    useName_set->setFont(font);
    label_tip->setFont(font);
    font.setPointSize(fontPointSize(2));
    useCom_set->setFont(font);
    cbx_coms->lineEdit()->setFont(font);
}

// --- Where the login manager meets the dialog ------------------------------
void DialogSetting::connectLoginManager()
{
    CLoginManager* login = CLoginManager::instance().get();
    connect(login, &CLoginManager::signalLogout, this, &DialogSetting::updateInfo);
    connect(login, &CLoginManager::signalLogin, this, &DialogSetting::onSetUserName);
    connect(login, &CLoginManager::signalUserPhotoChange, this, &DialogSetting::onUserPhotoChanged);
    connect(login, &CLoginManager::signalBeLogouted, this, &DialogSetting::onSetTip);
}

DialogSetting::UserInfo DialogSetting::readUserInfo() const
{
    const CLoginManager& login = *CLoginManager::instance();
    UserInfo info;
    info.loggedIn = login.isLoggedIn();
    login.userName(info.userName);
    login.userPhoto(info.photo);
    login.companyNames(info.companyNames);
    return info;
}

void DialogSetting::requestLogout()
{
    CLoginManager::instance()->logout();
}
// ---------------------------------------------------------------------------

void DialogSetting::relocateToCenter()
{
    centerOnParent(this);
}

void DialogSetting::updateInfo()
{
    showInfo(readUserInfo());
}

void DialogSetting::showInfo(const UserInfo& info)
{
    loggedIn = info.loggedIn;
    companyCount = info.companyNames.size();
    cbx_coms->setEnabled(true);
    useName_set->setText(info.userName);
    userPhoto_set->setPic(info.photo);

    if (info.companyNames.isEmpty()) {
        useCom_set->clear();
        useCom_set->show();
        cbx_coms->hide();
    } else if (info.companyNames.size() == 1) {
        useCom_set->setText(info.companyNames.first());
        useCom_set->show();
        cbx_coms->hide();
    } else {
        useCom_set->clear();
        useCom_set->hide();
        cbx_coms->clear();
        cbx_coms->show();
        cbx_coms->addItems(info.companyNames);
        QFont itemFont = useCom_set->font();
        for (int i = 0; i < cbx_coms->count(); ++i) {
            cbx_coms->setItemData(i, int(Qt::AlignCenter), Qt::TextAlignmentRole);
            cbx_coms->setItemData(i, itemFont, Qt::FontRole);
            cbx_coms->setItemData(i, QColor(100, 100, 100, 255), Qt::ForegroundRole);
        }
        cbx_coms->adjustSize();
    }
    btn_set_set->setText(loggedIn ? tr("退出当前账号") : tr("去登录"));
}

void DialogSetting::resizeCombox()
{
    if (companyCount < 2) {
        return;
    }
    const int boxWidth = qMin(cbx_coms->width() + 60, width());
    cbx_coms->resize(boxWidth, cbx_coms->height());
    cbx_coms->move((width() - boxWidth) / 2, cbx_coms->y());
}

void DialogSetting::onBtnSetClicked()
{
    if (!loggedIn) {
        close();
        // Queued, so this dialog is gone before the sign-in dialog runs.
        if (auto* window = qobject_cast<WindowMain*>(parentWidget())) {
            QMetaObject::invokeMethod(window, &WindowMain::onShowLoginDlg, Qt::QueuedConnection);
        }
        return;
    }
    requestLogout();
    close();
}

void DialogSetting::onComChanged(QString) {}

void DialogSetting::onSetUserName()
{
    cbx_coms->setEnabled(true);
    useName_set->setText(readUserInfo().userName);
}

void DialogSetting::onUserPhotoChanged()
{
    userPhoto_set->setPic(readUserInfo().photo);
}

void DialogSetting::onSetTip(QString tip)
{
    label_tip->setText(tip);
}

void DialogSetting::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    event->accept();
}
