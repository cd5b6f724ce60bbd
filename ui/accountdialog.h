#pragma once

#include <QDialog>

#include <initializer_list>

class QFont;
class QFrame;
class QPushButton;

// The shell of the account dialogs (sign-in, registration, finding and
// changing the password): a 426×450 frameless child of the main window,
// centred on it, with the content frame below a 50-pixel head and a close
// button in the head's right corner.
class AccountDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AccountDialog(QWidget* parent = nullptr);

public slots:
    void relocateToCenter();

protected:
    // Object name, size, title and font of the dialog.
    void setupShell(const char* objectName);
    // The content frame "frameContent" at (0, 50, 426, 400).
    QFrame* addContentFrame();
    // The close button at (394, 0, 32, 56); it closes the dialog.
    QPushButton* addCloseButton(const char* objectName);
    // Only the frameless flag, so the dialog stays a child of the main window
    // and lies over its grey mask; window-modal (modal too when modal is
    // true); centred.
    void becomeChildDialog(bool modal);
    // The font base with the point size of sizeClass (fontPointSize) on each
    // of widgets.
    static void setFonts(const QFont& base, int sizeClass, std::initializer_list<QWidget*> widgets);
};
