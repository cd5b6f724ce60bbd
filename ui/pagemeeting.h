#pragma once

#include <QUrl>
#include <QWidget>

class QProgressBar;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class MeetingWebPage;
class QWebEngineProfile;
class QWebEngineView;

// The conference web application. It reaches the client through the web
// channel object "MeetingCallback" and is loaded at once, signed in or not.
// Its tool bar goes into the main window's tool area (tools).
class PageMeeting : public QWidget
{
    Q_OBJECT
public:
    PageMeeting(QStackedWidget* tools, QWidget* parent = nullptr);
    ~PageMeeting() override;

    // The conference page's address; with the ticket while signed in.
    static QUrl meetingUrl();

signals:
    // The tool page of the main window's tool area to show, -1 for none.
    void showToolsPage(int pageIndex);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private slots:
    void onBtnHomeClicked();
    void onProgress(int progress);
    void onLoadFinished(bool bOK);
    void onLoadStarted();
    void onNeedReload();
    void reloadWebContent();
    void forceReloadWebContent();

private:
    void setupUi();
    void addToolsPage(QStackedWidget* tools);
    void createWebView();
    void load();
    // Loads url on a fresh page with the web channel.
    void loadOnFreshPage(const QUrl& url);

    QVBoxLayout* pageMeetingVLayout = nullptr;
    QStackedWidget* staWid_meeting = nullptr;
    QWidget* page0_meeting = nullptr;
    QVBoxLayout* pageMeeting0VLayout = nullptr;
    QProgressBar* progressLoad_meeting = nullptr;
    QWidget* page1_meeting = nullptr;

    QWebEngineView* webView = nullptr;
    // The view's page, owned here (each load replaces it), and its profile:
    // the default one, or one of this page's own that keeps everything in
    // memory when the storage folder cannot be used.
    MeetingWebPage* webPage = nullptr;
    QWebEngineProfile* webProfile = nullptr;
    bool ownsProfile = false;
    bool needReload = true;
    int toolsIndex = -1;
    QPushButton* refreshForMeeting = nullptr;
};
