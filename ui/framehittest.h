#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

// The edge and corner bands of a frameless window. The values are the native
// hit-test codes of Windows, so log lines read the same on every platform.
enum class FrameHit
{
    None = 0,
    Left = 10,
    Right = 11,
    Top = 12,
    TopLeft = 13,
    TopRight = 14,
    Bottom = 15,
    BottomLeft = 16,
    BottomRight = 17,
};

// Width of each band, in device-independent pixels.
constexpr int kFrameBorderWidth = 4;

// Which band of a window with the screen rectangle windowRect lies under the
// screen point cursor. Only edges whose dimension can change count (minimum
// and maximum differ); a maximised window has no bands. Later rules win: an
// edge over the opposite-axis edge, a corner over both edges.
FrameHit frameHitTest(const QRect& windowRect, const QPoint& cursor, const QSize& minimumSize,
                      const QSize& maximumSize, bool maximized);

// The window edges a band moves, for QWindow::startSystemResize and our own resize.
Qt::Edges frameHitEdges(FrameHit hit);

// The cursor shown over a band.
Qt::CursorShape frameHitCursor(FrameHit hit);
