#pragma once

#include "ui/windowbase.h"

#include <QImage>
#include <QSize>
#include <QUrl>

class CUserPhoto;
class PageHome;
class PageMail;
class PageMeeting;
class PagePrint;
class PageProject;
class QButtonGroup;
class QDialog;
class QFrame;
class QHBoxLayout;
class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

// The client's only top-level window: side bar of page buttons, head bar with
// title, tip and system buttons, and the page stack. It owns the pages and runs
// every modal dialog over the grey mask.
class WindowMain : public CWindowBase
{
    Q_OBJECT
public:
    // Same shape as the managers' getter, but a plain pointer: the window is a
    // widget and is deleted, not shared.
    static WindowMain* instance(bool release = false);
    ~WindowMain() override;

    // How long the reason of a forced sign-out stays in the head bar.
    static constexpr int kForcedSignOutTipMs = 5000;
    // Test seam: that time (0 restores it).
    static void setForcedSignOutTipForTesting(int ms);

signals:
    void windowResized(QSize newSize);

public slots:
    void onLogin();
    void onUserPhotoChange();
    void onLogout();
    void onBeLogouted(QString reason);
    void onShowLoginDlg();
    void onShowSignupDlg();
    void onShowFindPswDlg();
    void onShowChangePswDlg();
    void onShowSettingDlg();
    void onShowTipDlg();
    void onShowTip(QString tip, int msec = -1);
    void clearTip();

private slots:
    void onUserPhotoClicked();
    void onContentChanged(int index);
    void maxBtnClicked();
    void onNetState(bool bOK);
    void onShowToolsPage(int pageIndex = -1);
    void onShowSystemMenu();
    void onWebsiteTriggered();
    void onCheckUpdateTriggered();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    WindowMain();
    void setupUi();
    void applyStyleSheets();
    void makeConnections();
    QMenu* buildSystemMenu(bool signedIn);
    // Runs a dialog modally over the mask; nested runs keep the mask until the
    // outermost one returns.
    template <class Dialog> void runDialog(Dialog* dialog);
    void runModal(QDialog* dialog);

    // Where the account, conference and network managers meet the window.
    void connectLoginManager();
    void connectMeetingManager();
    void startNetworkWatcher();
    bool isSignedIn() const;
    QImage currentUserPhoto() const;
    void requestLogout();
    QUrl websiteUrl() const;

    static WindowMain* s_instance;

    // The widget tree, in the order it is built.
    QWidget* centralwidget = nullptr;
    QVBoxLayout* centralLayout = nullptr;
    QFrame* frameMain = nullptr;
    QFrame* frameHead = nullptr;
    QLabel* label_title = nullptr;
    QLabel* label_line = nullptr;
    QPushButton* btn_set = nullptr;
    QPushButton* btn_msg = nullptr;
    QLabel* tip_head = nullptr;
    QFrame* frameTools = nullptr;
    QHBoxLayout* horizontalLayout = nullptr;
    QStackedWidget* stkTools = nullptr;
    QWidget* toolsPage1 = nullptr;
    QFrame* frameContent = nullptr;
    QVBoxLayout* contentLayout = nullptr;
    QStackedWidget* stkWid = nullptr;
    QFrame* frameSide = nullptr;
    QVBoxLayout* sideLayout = nullptr;
    QPushButton* btn_home = nullptr;
    QPushButton* btn_project = nullptr;
    QPushButton* btn_print = nullptr;
    QPushButton* btn_mail = nullptr;
    QPushButton* btn_meeting = nullptr;
    QPushButton* btn_more = nullptr;
    QFrame* frameUserPhoto = nullptr;
    QHBoxLayout* userPhotoLayout = nullptr;
    CUserPhoto* label_photo = nullptr;
    QFrame* frameSystemBtn = nullptr;
    QHBoxLayout* systemBtnLayout = nullptr;
    QPushButton* btn_min = nullptr;
    QPushButton* btn_max = nullptr;
    QPushButton* btn_close = nullptr;

    QButtonGroup* sideButtons = nullptr;
    PageHome* pageHome = nullptr;
    PageProject* pageProject = nullptr;
    PagePrint* pagePrint = nullptr;
    PageMail* pageMail = nullptr;
    PageMeeting* pageMeeting = nullptr;
    QMenu* menuSignedOut = nullptr;
    QMenu* menuSignedIn = nullptr;

    int dialogDepth = 0;
};
