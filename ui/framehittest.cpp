#include "ui/framehittest.h"

FrameHit frameHitTest(const QRect& windowRect, const QPoint& cursor, const QSize& minimumSize,
                      const QSize& maximumSize, bool maximized)
{
    if (maximized) {
        return FrameHit::None;
    }
    // Right and bottom are exclusive, as in a native window rectangle.
    const int left = windowRect.x();
    const int top = windowRect.y();
    const int right = left + windowRect.width();
    const int bottom = top + windowRect.height();
    const int x = cursor.x();
    const int y = cursor.y();
    if (x < left || x >= right || y < top || y >= bottom) {
        return FrameHit::None;
    }

    const bool horizontal = minimumSize.width() != maximumSize.width();
    const bool vertical = minimumSize.height() != maximumSize.height();
    const bool inLeft = x < left + kFrameBorderWidth;
    const bool inRight = x >= right - kFrameBorderWidth;
    const bool inTop = y < top + kFrameBorderWidth;
    const bool inBottom = y >= bottom - kFrameBorderWidth;

    FrameHit hit = FrameHit::None;
    if (horizontal) {
        if (inLeft) {
            hit = FrameHit::Left;
        }
        if (inRight) {
            hit = FrameHit::Right;
        }
    }
    if (vertical) {
        if (inBottom) {
            hit = FrameHit::Bottom;
        }
        if (inTop) {
            hit = FrameHit::Top;
        }
    }
    if (horizontal && vertical) {
        if (inLeft && inBottom) {
            hit = FrameHit::BottomLeft;
        }
        if (inRight && inBottom) {
            hit = FrameHit::BottomRight;
        }
        if (inLeft && inTop) {
            hit = FrameHit::TopLeft;
        }
        if (inRight && inTop) {
            return FrameHit::TopRight;
        }
    }
    return hit;
}

Qt::Edges frameHitEdges(FrameHit hit)
{
    switch (hit) {
    case FrameHit::Left:
        return Qt::LeftEdge;
    case FrameHit::Right:
        return Qt::RightEdge;
    case FrameHit::Top:
        return Qt::TopEdge;
    case FrameHit::Bottom:
        return Qt::BottomEdge;
    case FrameHit::TopLeft:
        return Qt::TopEdge | Qt::LeftEdge;
    case FrameHit::TopRight:
        return Qt::TopEdge | Qt::RightEdge;
    case FrameHit::BottomLeft:
        return Qt::BottomEdge | Qt::LeftEdge;
    case FrameHit::BottomRight:
        return Qt::BottomEdge | Qt::RightEdge;
    case FrameHit::None:
        break;
    }
    return {};
}

Qt::CursorShape frameHitCursor(FrameHit hit)
{
    switch (hit) {
    case FrameHit::Left:
    case FrameHit::Right:
        return Qt::SizeHorCursor;
    case FrameHit::Top:
    case FrameHit::Bottom:
        return Qt::SizeVerCursor;
    case FrameHit::TopLeft:
    case FrameHit::BottomRight:
        return Qt::SizeFDiagCursor;
    case FrameHit::TopRight:
    case FrameHit::BottomLeft:
        return Qt::SizeBDiagCursor;
    case FrameHit::None:
        break;
    }
    return Qt::ArrowCursor;
}
