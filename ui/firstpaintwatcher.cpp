#include "ui/firstpaintwatcher.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

FirstPaintWatcher::FirstPaintWatcher(QWidget* window, std::function<void()> then)
    : QObject(window), m_window(window), m_then(std::move(then))
{
    window->installEventFilter(this);
    m_latest.setSingleShot(true);
    connect(&m_latest, &QTimer::timeout, this, &FirstPaintWatcher::release);
    m_latest.start(kLatestMs);
}

void FirstPaintWatcher::runAfterFirstPaint(QWidget* widget, std::function<void()> then)
{
    QTimer::singleShot(0, widget, [widget, then = std::move(then)] {
        QWidget* window = widget->window();
        const QWindow* handle = window->windowHandle();
        if (window->isVisible() && !(handle && handle->isExposed())) {
            new FirstPaintWatcher(window, then);
        } else {
            then();
        }
    });
}

bool FirstPaintWatcher::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Paint) {
        release();
    }
    return false;
}

void FirstPaintWatcher::release()
{
    m_window->removeEventFilter(this);
    m_latest.stop();
    // Posted: the frame being painted is finished and flushed first.
    QTimer::singleShot(0, m_window, m_then);
    deleteLater();
}
