#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

// Holds back work that a window's first frame does not need (the web engine,
// network requests, the ping) until that frame is painted, so the window
// appears as early as a bare one.
class FirstPaintWatcher : public QObject
{
public:
    // Runs then once window has been painted for the first time, after the
    // event loop has finished that frame; at the latest kLatestMs after now
    // (a window manager may keep the window unexposed). Never when window
    // is deleted first.
    FirstPaintWatcher(QWidget* window, std::function<void()> then);

    // For work asked for while widget's window is being built: decided at the
    // next turn of the event loop. A window shown by then, not yet exposed,
    // is waited for; otherwise (a widget that is never shown, a window
    // already on screen) then runs at once.
    static void runAfterFirstPaint(QWidget* widget, std::function<void()> then);

    static constexpr int kLatestMs = 3000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void release();

    QWidget* m_window;
    std::function<void()> m_then;
    QTimer m_latest;
};
