#pragma once

#include <QDialog>
#include <QImage>
#include <QStringList>

class CUserPhoto;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

// The personal-information dialog: photo, name, company (or a choice of
// companies) and one button that signs out, or leads to sign-in.
class DialogSetting : public QDialog
{
    Q_OBJECT
public:
    // What the dialog shows about the account.
    struct UserInfo
    {
        bool loggedIn = false;
        QString userName;
        QImage photo;
        QStringList companyNames;
    };

    explicit DialogSetting(QWidget* parent = nullptr);

    // Shows info as updateInfo() does with the account's own data.
    void showInfo(const UserInfo& info);

public slots:
    void relocateToCenter();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void onBtnSetClicked();
    void updateInfo();
    void resizeCombox();
    void onComChanged(QString text);
    void onSetUserName();
    void onUserPhotoChanged();
    void onSetTip(QString tip);

private:
    void setupUi();
    void applyFonts();

    // Where the login manager meets the dialog.
    void connectLoginManager();
    UserInfo readUserInfo() const;
    void requestLogout();

    QLabel* title_set = nullptr;
    QFrame* frameLine = nullptr;
    QPushButton* btn_close_set = nullptr;
    CUserPhoto* userPhoto_set = nullptr;
    QLabel* useName_set = nullptr;
    QLabel* useCom_set = nullptr;
    QComboBox* cbx_coms = nullptr;
    QLabel* label_tip = nullptr;
    QPushButton* btn_set_set = nullptr;

    bool loggedIn = false;
    int companyCount = 0;
};
