#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

// Mouse events delivered like real ones: through the application, so event
// filters and the propagation to parent widgets apply.
namespace Mouse {
inline bool send(QWidget* widget, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
                 Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}
inline bool press(QWidget* widget, const QPoint& pos, Qt::MouseButton button = Qt::LeftButton)
{
    return send(widget, QEvent::MouseButtonPress, pos, button, button);
}
inline bool move(QWidget* widget, const QPoint& pos, Qt::MouseButtons buttons = Qt::LeftButton)
{
    return send(widget, QEvent::MouseMove, pos, Qt::NoButton, buttons);
}
inline bool release(QWidget* widget, const QPoint& pos, Qt::MouseButton button = Qt::LeftButton)
{
    return send(widget, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}
} // namespace Mouse
