#pragma once

#include <QUrl>
#include <QWidget>

class QProgressBar;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class QWebEngineView;

// The conference web application. It reaches the client through the web
// channel object "MeetingCallback" and is loaded at once, signed in or not.
// Its tool bar goes into the main window's tool area (tools).
class PageMeeting : public QWidget
{
    Q_OBJECT
public:
    PageMeeting(QStackedWidget* tools, QWidget* parent = nullptr);

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

    QVBoxLayout* pageMeetingVLayout = nullptr;
    QStackedWidget* staWid_meeting = nullptr;
    QWidget* page0_meeting = nullptr;
    QVBoxLayout* pageMeeting0VLayout = nullptr;
    QProgressBar* progressLoad_meeting = nullptr;
    QWidget* page1_meeting = nullptr;

    QWebEngineView* webView = nullptr;
    bool needReload = true;
    int toolsIndex = -1;
    QPushButton* refreshForMeeting = nullptr;
};
