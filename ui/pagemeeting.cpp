#include "ui/pagemeeting.h"
#include "core/logtext.h"

#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "conference/meetingmanager.h"
#include "core/deployment.h"
#include "ui/firstpaintwatcher.h"
#include "ui/meetingwebpage.h"
#include "ui/stylesheet.h"
#include "ui/uilog.h"
#include "ui/webviewsupport.h"

#include <QDebug>
#include <QProgressBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

PageMeeting::PageMeeting(QStackedWidget* tools, QWidget* parent) : QWidget(parent)
{
    setupUi();
    staWid_meeting->setCurrentWidget(page0_meeting);
    pageMeetingVLayout->setContentsMargins(0, 0, 1, 1);

    applyStyleSheet(QStringLiteral("wid_pagemeeting"), {this}, "Can't open the qss file of pagemeeting.");

    CLoginManager* login = CLoginManager::instance().get();
    connect(login, &CLoginManager::signalLogin, this, &PageMeeting::onNeedReload, Qt::QueuedConnection);
    connect(login, &CLoginManager::signalTicketOK, this, &PageMeeting::reloadWebContent,
            Qt::QueuedConnection);
    connect(login, &CLoginManager::signalLogout, this, &PageMeeting::forceReloadWebContent,
            Qt::QueuedConnection);

    addToolsPage(tools);
    connect(refreshForMeeting, &QPushButton::clicked, this, &PageMeeting::onBtnHomeClicked);

    // The page is the client's conference controls, signed in or not. The web
    // engine starts once the window is on screen: its start-up would hold
    // back the window's first frame.
    FirstPaintWatcher::runAfterFirstPaint(this, [this] {
        if (!webView) {
            createWebView();
            load();
        }
    });
}

PageMeeting::~PageMeeting()
{
    // The view before its page, the page before its profile.
    delete webView;
    delete webPage;
    if (ownsProfile) {
        delete webProfile;
    }
}

void PageMeeting::setupUi()
{
    setObjectName(QStringLiteral("PageMeeting"));
    resize(820, 540);
    setMinimumSize(820, 540);
    pageMeetingVLayout = new QVBoxLayout(this);
    pageMeetingVLayout->setObjectName(QStringLiteral("pageMeetingVLayout"));
    pageMeetingVLayout->setSpacing(0);

    staWid_meeting = new QStackedWidget(this);
    staWid_meeting->setObjectName(QStringLiteral("staWid_meeting"));
    pageMeetingVLayout->addWidget(staWid_meeting);

    page0_meeting = new QWidget();
    page0_meeting->setObjectName(QStringLiteral("page0_meeting"));
    pageMeeting0VLayout = new QVBoxLayout(page0_meeting);
    pageMeeting0VLayout->setObjectName(QStringLiteral("pageMeeting0VLayout"));
    pageMeeting0VLayout->setContentsMargins(0, 0, 0, 0);
    pageMeeting0VLayout->setSpacing(0);
    pageMeeting0VLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    progressLoad_meeting = createLoadingLine(page0_meeting, QStringLiteral("progressLoad_meeting"));
    pageMeeting0VLayout->addWidget(progressLoad_meeting);
    staWid_meeting->addWidget(page0_meeting);

    page1_meeting = new QWidget();
    page1_meeting->setObjectName(QStringLiteral("page1_meeting"));
    staWid_meeting->addWidget(page1_meeting);
}

void PageMeeting::addToolsPage(QStackedWidget* tools)
{
    QWidget* page = createToolsPage(QStringLiteral("toolsForMeeting"));
    refreshForMeeting = addToolButton(page, QStringLiteral("refreshForMeeting"), 40, tr("重新加载页面"));
    if (tools) {
        toolsIndex = tools->addWidget(page);
    } else {
        page->setParent(this);
        page->hide();
    }
    qCDebug(lcUi) << "PageMeeting: set tools page index" << toolsIndex;
}

QUrl PageMeeting::meetingUrl()
{
    QString address =
        CDeployment::value(CDeployment::ConferenceWebOrigin) + QStringLiteral("/client/index.htm");
    if (CLoginManager::instance()->isLoggedIn()) {
        address += QStringLiteral("?SSO_TICKET=%1").arg(queryValue(CLoginInfo::instance()->ticket));
    }
    return QUrl(address);
}

void PageMeeting::createWebView()
{
    if (webView) {
        return;
    }
    ownsProfile = webEngineStoragePath().isEmpty();
    webProfile = ownsProfile ? new QWebEngineProfile() : QWebEngineProfile::defaultProfile();
    applyWebProfileSettings(webProfile);
    webView = createPageWebView(page0_meeting, pageMeeting0VLayout, QStringLiteral("webViewOnPageMeeting"));
    connect(webView, &QWebEngineView::loadProgress, this, &PageMeeting::onProgress);
    connect(webView, &QWebEngineView::loadFinished, this, &PageMeeting::onLoadFinished);
    connect(webView, &QWebEngineView::loadStarted, this, &PageMeeting::onLoadStarted);
}

void PageMeeting::load()
{
    if (!webView) {
        return;
    }
    webProfile->clearHttpCache();
    webProfile->cookieStore()->deleteAllCookies();
    const QUrl url = meetingUrl();
    qCDebug(lcUi).noquote() << "meeting url: " + LogText::maskedUrl(url);
    loadOnFreshPage(url);
    needReload = false;
}

void PageMeeting::loadOnFreshPage(const QUrl& url)
{
    MeetingWebPage* const oldPage = webPage;
    webPage = new MeetingWebPage(CMeetingManager::instance()->getWebChannel(),
                                 QUrl(CDeployment::value(CDeployment::ConferenceWebOrigin)), webProfile);
    connect(webPage, &MeetingWebPage::conferenceNavigationRequested, this, &PageMeeting::loadOnFreshPage,
            Qt::QueuedConnection);
    webView->setPage(webPage);
    // The view does not delete the page it showed before.
    delete oldPage;
    webView->setEnabled(false);
    webView->load(url);
    webView->setEnabled(true);
}

void PageMeeting::onNeedReload()
{
    needReload = true;
}

void PageMeeting::reloadWebContent()
{
    if (QWidget* window = this->window()) {
        window->repaint();
    }
    if (needReload) {
        createWebView();
        load();
    }
}

void PageMeeting::onBtnHomeClicked()
{
    needReload = true;
    reloadWebContent();
}

void PageMeeting::forceReloadWebContent()
{
    load();
}

void PageMeeting::onProgress(int progress)
{
    progressLoad_meeting->setValue(loadingLineValue(progress));
}

void PageMeeting::onLoadStarted()
{
    refreshForMeeting->setEnabled(false);
}

void PageMeeting::onLoadFinished(bool bOK)
{
    refreshForMeeting->setEnabled(true);
    if (!bOK && !isNetworkErrorPage(webView->url())) {
        webView->load(networkErrorPageUrl());
    }
}

void PageMeeting::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    emit showToolsPage(toolsIndex);
    if (webView) {
        webView->show();
    }
    progressLoad_meeting->setFocus();
}

void PageMeeting::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit showToolsPage(-1);
    if (webView) {
        webView->hide();
    }
}
