#include "ui/pagemail.h"
#include "core/logtext.h"

#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "core/deployment.h"
#include "ui/stylesheet.h"
#include "ui/uilog.h"
#include "ui/webviewsupport.h"
#include "ui/windowmain.h"

#include <QAction>
#include <QDebug>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {
const QString kHomePath = QStringLiteral("/pcweb/index");
}

PageMail::PageMail(QStackedWidget* tools, QWidget* parent) : QWidget(parent)
{
    setupUi();
    stackedWidget->setCurrentWidget(page1);
    pageMailHLayout->setContentsMargins(0, 0, 1, 1);

    applyStyleSheet(QStringLiteral("wid_pagemail"), {this}, "Can't open the qss file of pagemail.");

    if (auto* window = qobject_cast<WindowMain*>(parent)) {
        connect(login_mail, &QPushButton::clicked, window, &WindowMain::onShowLoginDlg);
    }
    CLoginManager* login = CLoginManager::instance().get();
    connect(login, &CLoginManager::signalLogin, this, &PageMail::updateUI, Qt::QueuedConnection);
    connect(login, &CLoginManager::signalLogout, this, &PageMail::updateUI, Qt::QueuedConnection);
    connect(login, &CLoginManager::signalTicketOK, this, &PageMail::reloadWebContent, Qt::QueuedConnection);

    addToolsPage(tools);
}

PageMail::~PageMail()
{
    // The view before its page, the page before its profile.
    delete webView;
    delete webPage;
    delete webProfile;
}

void PageMail::setupUi()
{
    setObjectName(QStringLiteral("PageMail"));
    resize(820, 540);
    setMinimumSize(820, 540);
    pageMailHLayout = new QHBoxLayout(this);
    pageMailHLayout->setObjectName(QStringLiteral("pageMailHLayout"));
    pageMailHLayout->setSpacing(0);

    stackedWidget = new QStackedWidget(this);
    stackedWidget->setObjectName(QStringLiteral("stackedWidget"));
    stackedWidget->setMinimumSize(820, 540);
    pageMailHLayout->addWidget(stackedWidget);

    page0 = new QWidget();
    page0->setObjectName(QStringLiteral("page0"));
    pageMail0VLayout = new QVBoxLayout(page0);
    pageMail0VLayout->setObjectName(QStringLiteral("pageMail0VLayout"));
    pageMail0VLayout->setContentsMargins(0, 0, 0, 0);
    pageMail0VLayout->setSpacing(0);
    // Holds the web view's place until the first sign-in creates it.
    pageMail0VLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    progressLoad = createLoadingLine(page0, QStringLiteral("progressLoad"));
    pageMail0VLayout->addWidget(progressLoad);
    stackedWidget->addWidget(page0);

    page1 = new QWidget();
    page1->setObjectName(QStringLiteral("page1"));
    page1->setAttribute(Qt::WA_StyledBackground);
    pageMail1HLayout = new QHBoxLayout(page1);
    pageMail1HLayout->setObjectName(QStringLiteral("pageMail1HLayout"));
    verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    frame_manual_mail = new QFrame(page1);
    frame_manual_mail->setObjectName(QStringLiteral("frame_manual_mail"));
    frame_manual_mail->setMinimumSize(400, 450);
    label_manual_mail = new QLabel(frame_manual_mail);
    label_manual_mail->setObjectName(QStringLiteral("label_manual_mail"));
    label_manual_mail->setGeometry(0, 0, 400, 450);
    login_mail = new QPushButton(frame_manual_mail);
    login_mail->setObjectName(QStringLiteral("login_mail"));
    login_mail->setGeometry(323, 117, 54, 26);
    login_mail->setCursor(Qt::PointingHandCursor);
    login_mail->setFlat(true);
    login_mail->setToolTip(tr("登录"));
    verticalLayout->addStretch();
    verticalLayout->addWidget(frame_manual_mail, 0, Qt::AlignCenter);
    verticalLayout->addStretch();
    pageMail1HLayout->addStretch();
    pageMail1HLayout->addLayout(verticalLayout);
    pageMail1HLayout->addStretch();
    stackedWidget->addWidget(page1);
}

void PageMail::addToolsPage(QStackedWidget* tools)
{
    QWidget* page = createToolsPage(QStringLiteral("toolsForMail"));
    backForMail = addToolButton(page, QStringLiteral("backForMail"), 40, tr("返回上一页"));
    backForMail->setEnabled(false);
    refreshForMail = addToolButton(page, QStringLiteral("refreshForMail"), 80, tr("重新加载页面"));
    homeForMail = addToolButton(page, QStringLiteral("homeForMail"), 120, tr("回到首页"));
    if (tools) {
        toolsIndex = tools->addWidget(page);
    } else {
        page->setParent(this);
        page->hide();
    }
    qCDebug(lcUi) << "PageMail: set tools page index" << toolsIndex;
}

QUrl PageMail::homeUrl()
{
    const CLoginInfo& info = *CLoginInfo::instance();
    const QString origin = CDeployment::value(CDeployment::OfficeWebOrigin);
    const QString query =
        info.companyIds.isEmpty()
            ? QStringLiteral("/pcweb/index?spm=0.0.0.0.WxsToM&SSO_TICKET=%1&client=PC")
                  .arg(queryValue(info.ticket))
            : QStringLiteral("/pcweb/index?spm=0.0.0.0.WxsToM&companyId=%1&SSO_TICKET=%2&client=PC")
                  .arg(QString::number(info.companyIds.first()), queryValue(info.ticket));
    return QUrl(origin + query);
}

void PageMail::createWebView()
{
    if (webView) {
        return;
    }
    webView = createPageWebView(page0, pageMail0VLayout, QStringLiteral("webViewOnPageMail"));
    connect(webView, &QWebEngineView::loadProgress, this, &PageMail::onProgress);
    connect(webView, &QWebEngineView::loadFinished, this, &PageMail::onLoadFinished);
    connect(webView, &QWebEngineView::loadStarted, this, &PageMail::onLoadStarted);
    connect(backForMail, &QPushButton::clicked, this, &PageMail::onBtnBackClicked);
    connect(refreshForMail, &QPushButton::clicked, this, &PageMail::onBtnReloadClicked);
    connect(homeForMail, &QPushButton::clicked, this, &PageMail::onBtnHomeClicked);
}

void PageMail::resetWebviewPage()
{
    createWebView();
    QWebEnginePage* const oldPage = webPage;
    QWebEngineProfile* const oldProfile = webProfile;
    webProfile = new QWebEngineProfile();
    applyWebProfileSettings(webProfile);
    webPage = new QWebEnginePage(webProfile);
    webView->setPage(webPage);
    // The replaced page goes before its profile, which it uses until then.
    delete oldPage;
    delete oldProfile;
    backForMail->setEnabled(false);
}

void PageMail::loadHome()
{
    if (!webView) {
        return;
    }
    const QUrl url = homeUrl();
    qCDebug(lcUi).noquote() << "PageMail: load" << LogText::maskedUrl(url);
    webView->setEnabled(false);
    webView->load(url);
    webView->setEnabled(true);
    needReload = false;
}

void PageMail::updateUI()
{
    if (CLoginManager::instance()->isLoggedIn()) {
        needReload = true;
        stackedWidget->setCurrentWidget(page0);
        resetWebviewPage();
        // The address loads when the ticket arrives.
        if (isVisible()) {
            webView->show();
            emit showToolsPage(toolsIndex);
        }
    } else {
        stackedWidget->setCurrentWidget(page1);
        if (isVisible()) {
            emit showToolsPage(-1);
        }
    }
}

void PageMail::reloadWebContent()
{
    if (needReload) {
        loadHome();
    }
}

void PageMail::forceReloadWebContent()
{
    loadHome();
}

void PageMail::onBtnHomeClicked()
{
    resetWebviewPage();
    loadHome();
}

void PageMail::onBtnBackClicked()
{
    if (!webView->history()->canGoBack()) {
        backForMail->setEnabled(false);
        return;
    }
    // Going back to the entry page would replay its ticket: start afresh.
    if (webView->history()->backItem().url().path() == kHomePath) {
        onBtnHomeClicked();
        return;
    }
    webView->back();
}

void PageMail::onBtnReloadClicked()
{
    const QUrl current = webView->url();
    if (isNetworkErrorPage(current) || current.path() == kHomePath) {
        onBtnHomeClicked();
        return;
    }
    webView->reload();
}

void PageMail::onProgress(int progress)
{
    progressLoad->setValue(loadingLineValue(progress));
}

void PageMail::onLoadStarted()
{
    refreshForMail->setEnabled(false);
    backForMail->setEnabled(webView->pageAction(QWebEnginePage::Back)->isEnabled());
}

void PageMail::onLoadFinished(bool bOK)
{
    progressLoad->setValue(0);
    backForMail->setEnabled(webView->pageAction(QWebEnginePage::Back)->isEnabled());
    refreshForMail->setEnabled(true);
    if (!bOK && !isNetworkErrorPage(webView->url())) {
        webView->load(networkErrorPageUrl());
    }
}

void PageMail::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    emit showToolsPage(stackedWidget->currentWidget() == page0 ? toolsIndex : -1);
    if (webView) {
        webView->show();
    }
    progressLoad->setFocus();
}

void PageMail::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit showToolsPage(-1);
    if (webView) {
        webView->hide();
    }
}
