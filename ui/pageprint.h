#pragma once

#include <QPixmap>
#include <QWidget>

class QFrame;
class QHBoxLayout;
class QLabel;
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

    // The driver download address of this deployment.
    static QUrl driverUrl();

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void openLink();
    void updateUI();

private:
    void setupUi();

    QHBoxLayout* pagePrintHLayout = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QFrame* frame_manual_print = nullptr;
    QLabel* label_manual = nullptr;
    QPushButton* login_print = nullptr;
    QPushButton* link_print = nullptr;
    QPixmap normalPixmap;
    QPixmap errorPixmap;
};
