#pragma once

#include <QUrl>
#include <QWidget>

class QFrame;
class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

// The office and mail web application, signed in with the access ticket.
// Its tool bar goes into the main window's tool area (tools). The web view is
// created with the first sign-in, and every sign-in or home click starts it
// on a fresh off-the-record profile: no cookies or cache survive.
class PageMail : public QWidget
{
    Q_OBJECT
public:
    PageMail(QStackedWidget* tools, QWidget* parent = nullptr);
    ~PageMail() override;

    // The address of the signed-in user's office home page.
    static QUrl homeUrl();

signals:
    // The tool page of the main window's tool area to show, -1 for none.
    void showToolsPage(int pageIndex);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private slots:
    void updateUI();
    void onProgress(int progress);
    void onLoadFinished(bool bOK);
    void onLoadStarted();
    void onBtnBackClicked();
    void onBtnReloadClicked();
    void onBtnHomeClicked();
    void reloadWebContent();
    void forceReloadWebContent();
    void resetWebviewPage();

private:
    void setupUi();
    void addToolsPage(QStackedWidget* tools);
    void createWebView();
    void loadHome();

    QHBoxLayout* pageMailHLayout = nullptr;
    QStackedWidget* stackedWidget = nullptr;
    QWidget* page0 = nullptr;
    QVBoxLayout* pageMail0VLayout = nullptr;
    QProgressBar* progressLoad = nullptr;
    QWidget* page1 = nullptr;
    QHBoxLayout* pageMail1HLayout = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QFrame* frame_manual_mail = nullptr;
    QLabel* label_manual_mail = nullptr;
    QPushButton* login_mail = nullptr;

    QWebEngineView* webView = nullptr;
    // The view's page and its profile, owned here: the view does not delete a
    // page it was given, and each profile keeps web engine processes of its own.
    QWebEnginePage* webPage = nullptr;
    QWebEngineProfile* webProfile = nullptr;
    bool needReload = true;
    int toolsIndex = -1;
    QPushButton* backForMail = nullptr;
    QPushButton* refreshForMail = nullptr;
    QPushButton* homeForMail = nullptr;
};
