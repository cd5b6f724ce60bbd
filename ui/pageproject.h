#pragma once

#include <QWidget>

class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The projection page: one or two receiver codes (4 or 5 characters), the
// single/dual-screen toggle and the start/stop button. It talks only to the
// projection router and runs the projection manager's state timer while it
// is visible.
class PageProject : public QWidget
{
    Q_OBJECT
public:
    explicit PageProject(QWidget* parent = nullptr);

    bool isSingleMode() const { return singleMode; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private slots:
    void setupUI();
    void setupReady();
    void switchToSingle();
    void switchToDouble();
    void onBtnClicked();
    void onStartProjection();
    void onStopProjection();
    void enableBtn(bool bEnable);
    void enableBtn() { enableBtn(true); }
    void onShareStarted();
    void onShareStoped();
    void onShareError(QString errCode, QString errMsg);

private:
    void buildForm();
    void setupFields();
    void loadStyleSheet();
    void connectSignals();
    // Back to one field; a second code alone moves up into the first.
    void leaveDualMode();

    bool singleMode = true;

    QHBoxLayout* pageProjectHLayout = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QFrame* frame_project = nullptr;
    QLabel* label_title = nullptr;
    QLineEdit* edit_code1 = nullptr;
    QPushButton* btn_add = nullptr;
    QLineEdit* edit_code2 = nullptr;
    QPushButton* btn_minus = nullptr;
    QPushButton* btn_start = nullptr;
    QLabel* tip_pro = nullptr;
    QLabel* tip2_pro = nullptr;
};
