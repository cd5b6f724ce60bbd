#include "ui/pageprint.h"

#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "core/apiconfig.h"
#include "core/deployment.h"
#include "ui/firstpaintwatcher.h"
#include "ui/stylesheet.h"
#include "ui/windowmain.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSpacerItem>
#include <QStyleOption>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace {
const int kLinuxLineHeight = 22;
const char* kQueue = "Vantelor";
} // namespace

PagePrint::PagePrint(QWidget* parent) : QWidget(parent)
{
    setupUi();

    applyStyleSheet(QStringLiteral("wid_pageprint"), {this}, "Can't open the qss file of pageprint.");

    if (auto* window = qobject_cast<WindowMain*>(parent)) {
        connect(login_print, &QPushButton::clicked, window, &WindowMain::onShowLoginDlg);
    }
    connect(link_print, &QPushButton::clicked, this, &PagePrint::openLink);
    CLoginManager* login = CLoginManager::instance(false).get();
    connect(login, &CLoginManager::signalLogin, this, &PagePrint::updateUI);
    connect(login, &CLoginManager::signalLogout, this, &PagePrint::updateUI);

    normalPixmap.load(QStringLiteral(":/wid/res/print/normal_print.png"));
    errorPixmap.load(QStringLiteral(":/wid/res/print/error_print.png"));
    updateUI();
    // lpstat is a process of its own: asked once the window is on screen.
    FirstPaintWatcher::runAfterFirstPaint(this, [this] { updateLinuxLine(); });
}

void PagePrint::setupUi()
{
    setObjectName(QStringLiteral("PagePrint"));
    setWindowTitle(QStringLiteral("Form"));
    resize(820, 540);
    setMinimumSize(820, 540);

    pagePrintHLayout = new QHBoxLayout(this);
    pagePrintHLayout->setObjectName(QStringLiteral("pagePrintHLayout"));
    pagePrintHLayout->setSpacing(0);
    pagePrintHLayout->setContentsMargins(0, 0, 0, 0);
    pagePrintHLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));

    verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(0);
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    verticalLayout->setContentsMargins(margin, style()->pixelMetric(QStyle::PM_LayoutTopMargin),
                                       style()->pixelMetric(QStyle::PM_LayoutRightMargin), 0);
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    // As high as the Linux line below the frame, which keeps the frame centred.
    verticalLayout->addItem(new QSpacerItem(20, kLinuxLineHeight, QSizePolicy::Minimum, QSizePolicy::Fixed));

    frame_manual_print = new QFrame(this);
    frame_manual_print->setObjectName(QStringLiteral("frame_manual_print"));
    frame_manual_print->setMinimumSize(400, 450);

    label_manual = new QLabel(frame_manual_print);
    label_manual->setObjectName(QStringLiteral("label_manual"));
    label_manual->setGeometry(0, 0, 400, 450);
    label_manual->setMinimumSize(400, 450);
    label_manual->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    login_print = new QPushButton(frame_manual_print);
    login_print->setObjectName(QStringLiteral("login_print"));
    login_print->setGeometry(322, 119, 54, 26);
    login_print->setCursor(Qt::PointingHandCursor);
    login_print->setFocusPolicy(Qt::StrongFocus);

    link_print = new QPushButton(frame_manual_print);
    link_print->setObjectName(QStringLiteral("link_print"));
    link_print->setGeometry(98, 313, 160, 22);
    link_print->setCursor(Qt::PointingHandCursor);
    link_print->setFocusPolicy(Qt::StrongFocus);
    link_print->setToolTip(tr("点此下载 Inkpost_PS 打印机驱动"));

    verticalLayout->addWidget(frame_manual_print);
    label_linux_print = new QLabel(this);
    label_linux_print->setObjectName(QStringLiteral("label_linux_print"));
    label_linux_print->setFixedSize(400, kLinuxLineHeight);
    label_linux_print->setAlignment(Qt::AlignCenter);
    label_linux_print->setTextFormat(Qt::RichText);
    label_linux_print->setStyleSheet(QStringLiteral("color: rgb(102,102,102); font-size: 12px;"));
    connect(label_linux_print, &QLabel::linkActivated, this, &PagePrint::openPrintJobs);
    verticalLayout->addWidget(label_linux_print, 0, Qt::AlignHCenter);
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    pagePrintHLayout->addLayout(verticalLayout);
    pagePrintHLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
}

QUrl PagePrint::driverUrl()
{
    return QUrl(CDeployment::value(CDeployment::DownloadOrigin) +
                    QStringLiteral("/static/download/windows/Inkpost_PS.exe"),
                QUrl::StrictMode);
}

void PagePrint::openLink()
{
    const QUrl url = driverUrl();
    if (url.isValid()) {
        QDesktopServices::openUrl(url);
    }
}

QUrl PagePrint::printJobsUrl()
{
    QUrl url =
        QUrl(CApiConfig::instance()->slot(CApiConfig::UrlPrintInfo)).resolved(QUrl("/print/online/jobs"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("ticket"), CLoginInfo::instance()->ticket);
    url.setQuery(query);
    return url;
}

void PagePrint::openPrintJobs()
{
    const QUrl url = printJobsUrl();
    if (url.isValid()) {
        QDesktopServices::openUrl(url);
    }
}

PagePrint::~PagePrint()
{
    // A question still in flight must not answer a page that is going.
    if (lpstat) {
        lpstat->disconnect(this);
    }
}

void PagePrint::updateLinuxLine()
{
    // Asked of CUPS each time the page shows (lpstat), as the queue comes and
    // goes with the package.
    if (lpstat) {
        askAgain = true;
        return;
    }
    lpstat = new QProcess(this);
    const auto answered = [this](bool installed) {
        queueInstalled = installed;
        lpstat->deleteLater();
        lpstat = nullptr;
        updateUI();
        if (askAgain) {
            askAgain = false;
            updateLinuxLine();
        }
    };
    connect(lpstat, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [answered](int code, QProcess::ExitStatus status) {
                answered(status == QProcess::NormalExit && code == 0);
            });
    connect(lpstat, &QProcess::errorOccurred, this, [answered](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            answered(false);
        }
    });
    lpstat->start(QStringLiteral("lpstat"), {QStringLiteral("-p"), QString::fromLatin1(kQueue)});
}

void PagePrint::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateLinuxLine();
}

void PagePrint::updateUI()
{
    if (CLoginManager::instance(false)->isLoggedIn()) {
        label_manual->setPixmap(normalPixmap);
        login_print->hide();
    } else {
        label_manual->setPixmap(errorPixmap);
        login_print->show();
    }
    if (!queueInstalled) {
        label_linux_print->setText(tr("Linux：请先安装打印机 Vantelor 云打印（install-printer.sh）"));
    } else if (CLoginManager::instance(false)->isLoggedIn()) {
        label_linux_print->setText(tr("Linux：打印时选择 Vantelor 云打印　<a href=\"jobs\" style=\"color: "
                                      "%1;\">我的打印任务</a>")
                                       .arg(kActionColour));
    } else {
        label_linux_print->setText(tr("Linux：已安装 Vantelor 云打印，登录后即可打印"));
    }
}

void PagePrint::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    // A plain widget draws its style-sheet background only through the style.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
