#include "ui/windowmain.h"

#include "account/loginmanager.h"
#include "conference/meetingmanager.h"
#include "core/deployment.h"
#include "core/netstatewathcer.h"
#include "ui/clickablewidget.h"
#include "ui/dialogchangepassword.h"
#include "ui/dialogfindpassword.h"
#include "ui/dialoglogin.h"
#include "ui/dialogsetting.h"
#include "ui/dialogsignup.h"
#include "ui/dialogtip.h"
#include "ui/dialogupdate.h"
#include "ui/firstpaintwatcher.h"
#include "ui/modalguard.h"
#include "ui/pagehome.h"
#include "ui/pagemail.h"
#include "ui/pagemeeting.h"
#include "ui/pageprint.h"
#include "ui/pageproject.h"
#include "ui/screenscale.h"
#include "ui/stylesheet.h"
#include "ui/uilog.h"
#include "ui/updater.h"
#include "ui/userphoto.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDebug>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

WindowMain* WindowMain::s_instance = nullptr;

WindowMain* WindowMain::instance(bool release)
{
    if (release) {
        delete s_instance;
        s_instance = nullptr;
    } else if (!s_instance) {
        s_instance = new WindowMain();
    }
    return s_instance;
}

WindowMain::WindowMain()
{
    Q_INIT_RESOURCE(resources);
    setupUi();

    setWindowOpacity(1.0);
    setWindowIcon(QIcon(QStringLiteral(":/wid/res/logo.png")));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->availableGeometry();
        move(desktop.x() + (desktop.width() - width()) / 2, desktop.y() + (desktop.height() - height()) / 2);
    }

    sideButtons = new QButtonGroup(this);
    sideButtons->setExclusive(true);
    sideButtons->addButton(btn_home, 0);
    sideButtons->addButton(btn_project, 1);
    sideButtons->addButton(btn_print, 2);
    sideButtons->addButton(btn_mail, 3);
    sideButtons->addButton(btn_meeting, 4);
    sideButtons->addButton(btn_more, 5);
    btn_home->setChecked(true);
    btn_more->hide();
    btn_msg->hide();
    tip_head->clear();
    tip_head->hide();

    auto* shadow = new QGraphicsDropShadowEffect(frameSide);
    shadow->setColor(QColor(0, 0, 0, 50));
    shadow->setOffset(10, 0);
    shadow->setBlurRadius(100);
    frameSide->setGraphicsEffect(shadow);
    frameUserPhoto->setGeometry(0, 0, 80, 60);
    frameSystemBtn->setGeometry(810, 0, 80, 60);
    label_photo->setMaskPic(QStringLiteral(":/wid/res/login/userHeadMask.png"));

    pageHome = new PageHome(this);
    pageProject = new PageProject(this);
    pagePrint = new PagePrint(this);
    pageMail = new PageMail(stkTools, this);
    pageMeeting = new PageMeeting(stkTools, this);
    stkWid->addWidget(pageHome);
    stkWid->addWidget(pageProject);
    stkWid->addWidget(pagePrint);
    stkWid->addWidget(pageMail);
    stkWid->addWidget(pageMeeting);
    connect(pageMail, &PageMail::showToolsPage, this, &WindowMain::onShowToolsPage, Qt::QueuedConnection);
    connect(pageMeeting, &PageMeeting::showToolsPage, this, &WindowMain::onShowToolsPage,
            Qt::QueuedConnection);
    stkWid->setCurrentIndex(0);
    // isHidden, not isVisible: the window itself is not shown yet.
    if (!frameTools->isHidden()) {
        frameTools->hide();
    }

    applyStyleSheets();
    makeConnections();
    label_photo->setPic(currentUserPhoto());
}

WindowMain::~WindowMain()
{
    CNetStateWathcer::instance()->stopMonitor();
    if (s_instance == this) {
        s_instance = nullptr;
    }
}

void WindowMain::setupUi()
{
    setObjectName(QStringLiteral("WindowMain"));
    resize(900, 600);
    setMinimumSize(900, 600);
    setWindowTitle(tr("Vantelor"));
    QFont windowFont;
    windowFont.setFamily(QStringLiteral("微软雅黑"));
    setFont(windowFont);

    centralwidget = new QWidget(this);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    centralLayout = new QVBoxLayout(centralwidget);
    centralLayout->setObjectName(QStringLiteral("centralLayout"));
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);

    frameMain = new QFrame(centralwidget);
    frameMain->setObjectName(QStringLiteral("frameMain"));
    frameMain->setMinimumSize(900, 600);
    centralLayout->addWidget(frameMain);

    frameHead = new QFrame(frameMain);
    frameHead->setObjectName(QStringLiteral("frameHead"));
    frameHead->setGeometry(0, 0, 900, 60);
    frameHead->setFixedHeight(60);

    label_title = new QLabel(frameHead);
    label_title->setObjectName(QStringLiteral("label_title"));
    label_title->setGeometry(420, 0, 60, 60);

    label_line = new QLabel(frameHead);
    label_line->setObjectName(QStringLiteral("label_line"));
    label_line->setGeometry(800, 15, 10, 30);

    btn_set = new QPushButton(frameHead);
    btn_set->setObjectName(QStringLiteral("btn_set"));
    btn_set->setGeometry(775, 20, 20, 20);
    btn_set->setCheckable(true);
    btn_set->setFlat(true);
    btn_set->setToolTip(tr("设置"));
    btn_set->setContextMenuPolicy(Qt::CustomContextMenu);

    btn_msg = new QPushButton(frameHead);
    btn_msg->setObjectName(QStringLiteral("btn_msg"));
    btn_msg->setGeometry(745, 20, 20, 20);

    tip_head = new QLabel(frameHead);
    tip_head->setObjectName(QStringLiteral("tip_head"));
    tip_head->setGeometry(700, 17, 60, 26);
    tip_head->setText(tr("<html><head/><body><p>显示提示</p></body></html>"));

    frameTools = new QFrame(frameHead);
    frameTools->setObjectName(QStringLiteral("frameTools"));
    frameTools->setGeometry(80, 0, 340, 60);
    frameTools->setFixedHeight(60);
    horizontalLayout = new QHBoxLayout(frameTools);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setContentsMargins(0, 0, 0, 0);
    horizontalLayout->setSpacing(0);
    stkTools = new QStackedWidget(frameTools);
    stkTools->setObjectName(QStringLiteral("stkTools"));
    toolsPage1 = new QWidget();
    toolsPage1->setObjectName(QStringLiteral("toolsPage1"));
    stkTools->addWidget(toolsPage1);
    horizontalLayout->addWidget(stkTools);

    frameContent = new QFrame(frameMain);
    frameContent->setObjectName(QStringLiteral("frameContent"));
    frameContent->setGeometry(80, 60, 838, 558);
    frameContent->setMinimumSize(820, 540);
    contentLayout = new QVBoxLayout(frameContent);
    contentLayout->setObjectName(QStringLiteral("contentLayout"));
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(0);
    stkWid = new QStackedWidget(frameContent);
    stkWid->setObjectName(QStringLiteral("stkWid"));
    stkWid->setMinimumSize(820, 540);
    contentLayout->addWidget(stkWid);

    frameSide = new QFrame(frameMain);
    frameSide->setObjectName(QStringLiteral("frameSide"));
    frameSide->setGeometry(0, 0, 80, 600);
    frameSide->setFixedWidth(80);
    sideLayout = new QVBoxLayout(frameSide);
    sideLayout->setObjectName(QStringLiteral("sideLayout"));
    sideLayout->setSpacing(0);
    sideLayout->setContentsMargins(0, 60, 0, 0);
    const auto sideButton = [this](const char* name) {
        auto* button = new QPushButton(frameSide);
        button->setObjectName(QLatin1String(name));
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setFlat(true);
        button->setMinimumHeight(80);
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::NoFocus);
        sideLayout->addWidget(button);
        return button;
    };
    btn_home = sideButton("btn_home");
    btn_project = sideButton("btn_project");
    btn_print = sideButton("btn_print");
    btn_mail = sideButton("btn_mail");
    btn_meeting = sideButton("btn_meeting");
    btn_more = sideButton("btn_more");
    btn_home->setToolTip(tr("首页"));
    btn_project->setToolTip(tr("无线投屏"));
    btn_print->setToolTip(tr("在线打印"));
    btn_mail->setToolTip(tr("办公邮件"));
    btn_meeting->setToolTip(tr("视频会议"));
    sideLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    frameUserPhoto = new QFrame(frameMain);
    frameUserPhoto->setObjectName(QStringLiteral("frameUserPhoto"));
    frameUserPhoto->setGeometry(0, 0, 80, 60);
    userPhotoLayout = new QHBoxLayout(frameUserPhoto);
    userPhotoLayout->setObjectName(QStringLiteral("userPhotoLayout"));
    userPhotoLayout->setSpacing(0);
    userPhotoLayout->setContentsMargins(20, 10, 20, 10);
    label_photo = new CUserPhoto(frameUserPhoto);
    label_photo->setObjectName(QStringLiteral("label_photo"));
    label_photo->setFixedSize(40, 40);
    label_photo->setCursor(Qt::PointingHandCursor);
    userPhotoLayout->addWidget(label_photo);

    frameSystemBtn = new QFrame(frameMain);
    frameSystemBtn->setObjectName(QStringLiteral("frameSystemBtn"));
    frameSystemBtn->setGeometry(810, 0, 80, 60);
    systemBtnLayout = new QHBoxLayout(frameSystemBtn);
    systemBtnLayout->setObjectName(QStringLiteral("systemBtnLayout"));
    systemBtnLayout->setSpacing(5);
    systemBtnLayout->setContentsMargins(5, 20, 5, 20);
    const auto systemButton = [this](const char* name, const QString& tip) {
        auto* button = new QPushButton(frameSystemBtn);
        button->setObjectName(QLatin1String(name));
        button->setFixedSize(20, 20);
        button->setFlat(true);
        button->setToolTip(tip);
        button->setFocusPolicy(Qt::NoFocus);
        systemBtnLayout->addWidget(button);
        return button;
    };
    btn_min = systemButton("btn_min", tr("最小化"));
    btn_max = systemButton("btn_max", tr("最大化"));
    btn_max->setCheckable(true);
    btn_close = systemButton("btn_close", tr("关闭"));

    setCentralWidget(centralwidget);
}

void WindowMain::applyStyleSheets()
{
    if (!applyStyleSheet(QStringLiteral("wid_windowmain"), {this},
                         "Can't open the qss file of windowmain.")) {
        return;
    }
    frameHead->setStyleSheet(QStringLiteral("#frameHead{background-color: rgb(250,250,250);"
                                            "border-top: 1px solid rgb(200,200,200);"
                                            "border-right: 1px solid rgb(200,200,200);}"));
    frameContent->setStyleSheet(QStringLiteral("#frameContent{background-color: white;"
                                               "border-right: 1px solid rgb(200,200,200);"
                                               "border-bottom: 1px solid rgb(200,200,200);}"));
    frameSystemBtn->setStyleSheet(QStringLiteral("#frameSystemBtn{background-color: rgb(250,250,250);"
                                                 "border-top: 1px solid rgb(200,200,200);}"));
    frameUserPhoto->setStyleSheet(
        QStringLiteral("#frameUserPhoto{background-color: %1;}").arg(kActionColour));
}

void WindowMain::makeConnections()
{
    startNetworkWatcher();
    connect(sideButtons, &QButtonGroup::idClicked, this, &WindowMain::onContentChanged);
    connect(btn_min, &QPushButton::clicked, this, &WindowMain::showMinimized);
    connect(btn_close, &QPushButton::clicked, this, &WindowMain::closeBtnClicked);
    connect(btn_max, &QPushButton::clicked, this, &WindowMain::maxBtnClicked);
    connectLoginManager();
    connect(label_photo, &CUserPhoto::clicked, this, &WindowMain::onUserPhotoClicked);
    connect(btn_set, &QPushButton::clicked, this, &WindowMain::onShowSystemMenu, Qt::QueuedConnection);
    connect(btn_set, &QPushButton::customContextMenuRequested, this, &WindowMain::onShowSystemMenu,
            Qt::QueuedConnection);
    connectMeetingManager();
}

// --- Where the managers of other folders meet the window ------------------
// Each function below is the single place for one of them; until a manager is
// part of the build its function keeps the signed-out state.

void WindowMain::startNetworkWatcher()
{
    CNetStateWathcer* watcher = CNetStateWathcer::instance().get();
    connect(watcher, &CNetStateWathcer::netStateChange, this, &WindowMain::onNetState, Qt::QueuedConnection);
    // The first ping (a process of its own) waits until the window is on screen.
    FirstPaintWatcher::runAfterFirstPaint(this, [] { CNetStateWathcer::instance()->startMonitor(); });
}

// CLoginManager: signalLogin() -> onLogin(), signalLogout() -> onLogout(),
// signalUserPhotoChange() -> onUserPhotoChange(),
// signalBeLogouted(QString) -> onBeLogouted(QString); all queued.
void WindowMain::connectLoginManager()
{
    CLoginManager* login = CLoginManager::instance().get();
    connect(login, &CLoginManager::signalLogin, this, &WindowMain::onLogin, Qt::QueuedConnection);
    connect(login, &CLoginManager::signalLogout, this, &WindowMain::onLogout, Qt::QueuedConnection);
    connect(login, &CLoginManager::signalUserPhotoChange, this, &WindowMain::onUserPhotoChange,
            Qt::QueuedConnection);
    connect(login, &CLoginManager::signalBeLogouted, this, &WindowMain::onBeLogouted, Qt::QueuedConnection);
}

void WindowMain::connectMeetingManager()
{
    connect(CMeetingManager::instance().get(), &CMeetingManager::showLoginDlg, this,
            &WindowMain::onShowLoginDlg);
}

bool WindowMain::isSignedIn() const
{
    return CLoginManager::instance()->isLoggedIn();
}

// The not-signed-in picture while signed out.
QImage WindowMain::currentUserPhoto() const
{
    QImage photo;
    CLoginManager::instance()->userPhoto(photo);
    return photo;
}

void WindowMain::requestLogout()
{
    CLoginManager::instance()->logout();
}

QUrl WindowMain::websiteUrl() const
{
    return QUrl(CDeployment::value(CDeployment::Website));
}
// ---------------------------------------------------------------------------

void WindowMain::resizeEvent(QResizeEvent* event)
{
    CWindowBase::resizeEvent(event);
    frameMain->resize(event->size());
    const int w = frameMain->width();
    const int h = frameMain->height();
    frameHead->resize(w, 60);
    frameSide->resize(80, h);
    btn_set->move(w - 125, 20);
    btn_msg->move(w - 155, 20);
    label_line->move(w - 100, 15);
    label_title->move(w / 2 - 30, 0);
    tip_head->move(w - tip_head->width() - 140, 17);
    frameTools->resize(w / 2 - 110, 60);
    frameContent->resize(w - 80, h - 60);
    stkWid->resize(w - 80, h - 60);
    frameSystemBtn->move(w - 90, 0);
    emit windowResized(event->size());
}

void WindowMain::onContentChanged(int index)
{
    stkWid->setCurrentIndex(index);
}

void WindowMain::onShowToolsPage(int pageIndex)
{
    if (pageIndex != -1) {
        frameTools->show();
        stkTools->setCurrentIndex(pageIndex);
    } else if (!frameTools->isHidden()) {
        frameTools->hide();
    }
    // The tool area lies in the side bar's shadow: repainting the shadow
    // covers the user photo above it unless the photo is repainted too.
    frameUserPhoto->update();
}

void WindowMain::maxBtnClicked()
{
    if (!isMaximized()) {
        btn_max->setChecked(true);
        showMaximized();
    } else {
        btn_max->setChecked(false);
        showNormal();
    }
}

void WindowMain::onShowTip(QString tip, int msec)
{
    if (tip.isEmpty()) {
        tip_head->hide();
        return;
    }
    // Measured after the style sheet's font and padding apply; the bare font
    // width plus 20 cut the last character off.
    tip_head->setText(tip);
    tip_head->ensurePolished();
    const int width =
        std::max(tip_head->fontMetrics().horizontalAdvance(tip) + 20, tip_head->sizeHint().width());
    tip_head->resize(width, 26);
    tip_head->move(frameMain->width() - 140 - tip_head->width(), 17);
    tip_head->show();
    if (msec > 0) {
        QTimer::singleShot(msec, this, &WindowMain::clearTip);
    }
}

void WindowMain::clearTip()
{
    tip_head->clear();
    tip_head->hide();
}

void WindowMain::onNetState(bool bOK)
{
    if (!bOK) {
        onShowTip(tr("网络已断开,请连接网络"));
    } else {
        clearTip();
    }
}

void WindowMain::onLogin()
{
    qCDebug(lcUi) << "MainWindow on login";
    if (isSignedIn()) {
        label_photo->setPic(currentUserPhoto());
    }
}

void WindowMain::onLogout()
{
    if (!isSignedIn()) {
        label_photo->setPic(currentUserPhoto());
    }
}

void WindowMain::onUserPhotoChange()
{
    label_photo->setPic(currentUserPhoto());
}

namespace {
int& forcedSignOutTipMs()
{
    static int ms = WindowMain::kForcedSignOutTipMs;
    return ms;
}
} // namespace

void WindowMain::setForcedSignOutTipForTesting(int ms)
{
    forcedSignOutTipMs() = ms > 0 ? ms : kForcedSignOutTipMs;
}

void WindowMain::onBeLogouted(QString reason)
{
    onShowTip(reason, forcedSignOutTipMs());
}

void WindowMain::onUserPhotoClicked()
{
    if (isSignedIn()) {
        onShowSettingDlg();
    } else {
        onShowLoginDlg();
    }
}

template <class Dialog> void WindowMain::runDialog(Dialog* dialog)
{
    connect(this, &WindowMain::windowResized, dialog, &Dialog::relocateToCenter);
    runModal(dialog);
}

void WindowMain::runModal(QDialog* dialog)
{
    QPointer<QDialog> guard(dialog);
    ++dialogDepth;
    setMaskVisible(true);
    // A child of this window: exec() alone makes nothing modal.
    new CModalGuard(dialog, grayMask());
    dialog->show();
    dialog->raise();
    if (!dialog->isAncestorOf(QApplication::focusWidget())) {
        dialog->setFocus();
    }
    dialog->exec();
    if (--dialogDepth == 0) {
        setMaskVisible(false);
    }
    delete guard.data();
}

void WindowMain::onShowLoginDlg()
{
    qCDebug(lcUi) << "WindowMain: onShowLoginDlg";
    auto* dialog = new DialogLogin(this);
    connect(dialog, &DialogLogin::signupBtnClicked, this, &WindowMain::onShowSignupDlg);
    connect(dialog, &DialogLogin::findPswBtnClicked, this, &WindowMain::onShowFindPswDlg);
    runDialog(dialog);
}

void WindowMain::onShowSignupDlg()
{
    qCDebug(lcUi) << "WindowMain: onShowSignupDlg";
    auto* dialog = new DialogSignup(this);
    connect(dialog, &DialogSignup::loginBtnClicked, this, &WindowMain::onShowLoginDlg);
    runDialog(dialog);
}

void WindowMain::onShowFindPswDlg()
{
    qCDebug(lcUi) << "WindowMain: onShowFindPswDlg";
    auto* dialog = new DialogFindPassword(this);
    connect(dialog, &DialogFindPassword::loginBtnClicked, this, &WindowMain::onShowLoginDlg);
    runDialog(dialog);
}

void WindowMain::onShowChangePswDlg()
{
    qCDebug(lcUi) << "WindowMain: onShowChangePswDlg";
    runDialog(new DialogChangePassword(this));
}

void WindowMain::onShowSettingDlg()
{
    qCDebug(lcUi) << "WindowMain: onShowSettingDlg";
    runDialog(new DialogSetting(this));
}

void WindowMain::onShowTipDlg()
{
    auto* tip = new DialogTip(tr("测试消息"), this, 10000);
    tip->setAttribute(Qt::WA_DeleteOnClose);
    tip->show();
    tip->raise();
}

QMenu* WindowMain::buildSystemMenu(bool signedIn)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(signedIn ? QStringLiteral("systemMenuSignedIn")
                                 : QStringLiteral("systemMenuSignedOut"));
    QFont menuFont = label_title->font();
    menuFont.setPointSize(fontPointSize(1));
    menu->setFont(menuFont);
    applyStyleSheet(QStringLiteral("wid_systemmenu"), {menu}, "Can't open the qss file of wid_systemmenu.");
    if (signedIn) {
        connect(menu->addAction(tr("个人信息")), &QAction::triggered, this, &WindowMain::onShowSettingDlg,
                Qt::QueuedConnection);
        connect(menu->addAction(tr("修改密码")), &QAction::triggered, this, &WindowMain::onShowChangePswDlg);
        connect(menu->addAction(tr("退出登录")), &QAction::triggered, this, &WindowMain::requestLogout);
    } else {
        connect(menu->addAction(tr("立即登录")), &QAction::triggered, this, &WindowMain::onShowLoginDlg);
        connect(menu->addAction(tr("用户注册")), &QAction::triggered, this, &WindowMain::onShowSignupDlg);
    }
    connect(menu->addAction(tr("Vantelor官网")), &QAction::triggered, this, &WindowMain::onWebsiteTriggered);
    connect(menu->addAction(tr("检查更新")), &QAction::triggered, this, &WindowMain::onCheckUpdateTriggered);
    connect(menu, &QMenu::aboutToHide, btn_set, [this] { btn_set->setChecked(false); });
    return menu;
}

void WindowMain::onShowSystemMenu()
{
    btn_set->setChecked(true);
    if (!menuSignedOut) {
        menuSignedOut = buildSystemMenu(false);
        menuSignedIn = buildSystemMenu(true);
    }
    QMenu* menu = isSignedIn() ? menuSignedIn : menuSignedOut;
    QPoint at = btn_set->mapToGlobal(QPoint(0, 0));
    at.rx() -= (menu->sizeHint().width() - btn_set->width()) / 2;
    at.ry() += btn_set->width() * 3 / 2;
    menu->popup(at);
}

void WindowMain::onWebsiteTriggered()
{
    const QUrl url = websiteUrl();
    if (!url.isValid()) {
        qCDebug(lcUi) << "WindowMain: no web site address configured";
        return;
    }
    QDesktopServices::openUrl(url);
}

void WindowMain::onCheckUpdateTriggered()
{
    runDialog(CUpdater::checkUpdateWithUi(this));
}
