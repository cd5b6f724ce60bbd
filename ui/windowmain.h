#pragma once

#include <QWidget>

// The client's frameless main window.
class WindowMain : public QWidget
{
    Q_OBJECT
public:
    // Same shape as the managers' getter, but a plain pointer: the window is a
    // widget and is deleted, not shared.
    static WindowMain* instance(bool release = false);
    ~WindowMain() override;

private:
    WindowMain();
    void loadStyleSheet(const QString& name);

    static WindowMain* s_instance;
};
