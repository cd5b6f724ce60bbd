#include "ui/pageprint.h"

#include "account/loginmanager.h"
#include "core/deployment.h"
#include "ui/stylesheet.h"
#include "ui/windowmain.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpacerItem>
#include <QStyleOption>
#include <QUrl>
#include <QVBoxLayout>

PagePrint::PagePrint(QWidget* parent) : QWidget(parent)
{
    setupUi();

    QString sheet;
    if (readStyleSheet(QStringLiteral("wid_pageprint"), sheet)) {
        setStyleSheet(sheet);
    } else {
        qWarning() << "Can't open the qss file of pageprint.";
    }

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

void PagePrint::updateUI()
{
    if (CLoginManager::instance(false)->isLoggedIn()) {
        label_manual->setPixmap(normalPixmap);
        login_print->hide();
    } else {
        label_manual->setPixmap(errorPixmap);
        login_print->show();
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
