#pragma once

#include "ui/framehittest.h"

#include <QObject>
#include <QPointer>
#include <QRect>

class QMouseEvent;
class QWidget;

// Resizing of a frameless top-level window by its edge and corner bands. The
// window manager does the resize where it offers one (startSystemResize);
// otherwise the mouse drives our own. Child widgets and web views reach the
// window's edges, so the resizer watches the whole application's mouse events
// and shows the resize cursors while the mouse is over a band.
class CFrameResizer : public QObject
{
    Q_OBJECT
public:
    // Watches window's mouse events until the window or the resizer goes.
    explicit CFrameResizer(QWidget* window);
    ~CFrameResizer() override;

    bool isResizing() const { return dragHit != FrameHit::None; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool belongsToWindow(QObject* watched) const;
    FrameHit hitAt(const QPoint& globalPos) const;
    bool onPress(QMouseEvent* event);
    bool onMove(QMouseEvent* event);
    bool onRelease(QMouseEvent* event);
    void resizeBy(const QPoint& delta);
    void showCursor(FrameHit hit);

    QPointer<QWidget> window;
    FrameHit dragHit = FrameHit::None;
    QPoint pressGlobalPos;
    QRect pressGeometry;
    bool cursorOverridden = false;
};
