#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QFrame;
class QHBoxLayout;
class QLabel;
class QProcess;
class QPushButton;
class QVBoxLayout;

// The print page: a picture that explains printing through the client's
// printer driver, with the sign-in button while nobody is signed in and the
// driver download link laid over it.
class PagePrint : public QWidget
{
    Q_OBJECT
public:
    // parent is the main window: the sign-in button opens its sign-in dialog.
    explicit PagePrint(QWidget* parent = nullptr);
    ~PagePrint() override;

    // The driver download address of this deployment.
    static QUrl driverUrl();
    // The signed-in user's job list at the print service ("我的打印任务").
    static QUrl printJobsUrl();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void openLink();
    void updateUI();
    // Linux: whether the print queue is installed, and how to install it.
    void updateLinuxLine();
    void openPrintJobs();

private:
    void setupUi();

    QHBoxLayout* pagePrintHLayout = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QFrame* frame_manual_print = nullptr;
    QLabel* label_manual = nullptr;
    QPushButton* login_print = nullptr;
    QPushButton* link_print = nullptr;
    QLabel* label_linux_print = nullptr;
    bool queueInstalled = false;
    QPointer<QProcess> lpstat; // the question to CUPS in flight
    bool askAgain = false;     // asked meanwhile: once more after it
    QPixmap normalPixmap;
    QPixmap errorPixmap;
};
