#include "ui/frameresizer.h"

#include <QApplication>
#include <QDebug>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

CFrameResizer::CFrameResizer(QWidget* window) : QObject(window), window(window)
{
    qApp->installEventFilter(this);
}

CFrameResizer::~CFrameResizer()
{
    showCursor(FrameHit::None);
}

bool CFrameResizer::belongsToWindow(QObject* watched) const
{
    if (!window || !watched->isWidgetType()) {
        return false;
    }
    return static_cast<QWidget*>(watched)->window() == window;
}

FrameHit CFrameResizer::hitAt(const QPoint& globalPos) const
{
    return frameHitTest(window->frameGeometry(), globalPos, window->minimumSize(), window->maximumSize(),
                        window->isMaximized() || window->isFullScreen());
}

bool CFrameResizer::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return belongsToWindow(watched) && onPress(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        return belongsToWindow(watched) && onMove(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        return belongsToWindow(watched) && onRelease(static_cast<QMouseEvent*>(event));
    case QEvent::Leave:
        if (watched == window && !isResizing()) {
            showCursor(FrameHit::None);
        }
        break;
    default:
        break;
    }
    return false;
}

bool CFrameResizer::onPress(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || isResizing()) {
        return isResizing();
    }
    const FrameHit hit = hitAt(event->globalPos());
    if (hit == FrameHit::None) {
        return false;
    }
    QWindow* handle = window->windowHandle();
    if (handle && handle->startSystemResize(frameHitEdges(hit))) {
        showCursor(FrameHit::None);
        return true;
    }
    dragHit = hit;
    pressGlobalPos = event->globalPos();
    pressGeometry = window->geometry();
    return true;
}

bool CFrameResizer::onMove(QMouseEvent* event)
{
    if (isResizing()) {
        resizeBy(event->globalPos() - pressGlobalPos);
        return true;
    }
    if (event->buttons() == Qt::NoButton) {
        showCursor(hitAt(event->globalPos()));
    }
    return false;
}

bool CFrameResizer::onRelease(QMouseEvent* event)
{
    if (!isResizing() || event->button() != Qt::LeftButton) {
        return isResizing();
    }
    dragHit = FrameHit::None;
    showCursor(hitAt(event->globalPos()));
    return true;
}

void CFrameResizer::resizeBy(const QPoint& delta)
{
    const Qt::Edges edges = frameHitEdges(dragHit);
    const QSize minimum = window->minimumSize();
    const QSize maximum = window->maximumSize();
    QRect geometry = pressGeometry;
    // The moved edge follows the mouse; the opposite edge stays where it was.
    if (edges & Qt::LeftEdge) {
        const int width = qBound(minimum.width(), pressGeometry.width() - delta.x(), maximum.width());
        geometry.setLeft(pressGeometry.right() + 1 - width);
    }
    if (edges & Qt::RightEdge) {
        geometry.setWidth(qBound(minimum.width(), pressGeometry.width() + delta.x(), maximum.width()));
    }
    if (edges & Qt::TopEdge) {
        const int height = qBound(minimum.height(), pressGeometry.height() - delta.y(), maximum.height());
        geometry.setTop(pressGeometry.bottom() + 1 - height);
    }
    if (edges & Qt::BottomEdge) {
        geometry.setHeight(qBound(minimum.height(), pressGeometry.height() + delta.y(), maximum.height()));
    }
    if (geometry != window->geometry()) {
        window->setGeometry(geometry);
    }
}

void CFrameResizer::showCursor(FrameHit hit)
{
    if (hit == FrameHit::None) {
        if (cursorOverridden) {
            QApplication::restoreOverrideCursor();
            cursorOverridden = false;
        }
        return;
    }
    const QCursor cursor(frameHitCursor(hit));
    if (cursorOverridden) {
        QApplication::changeOverrideCursor(cursor);
    } else {
        QApplication::setOverrideCursor(cursor);
        cursorOverridden = true;
    }
}
