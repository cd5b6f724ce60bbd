#pragma once

#include <QMainWindow>
#include <QPoint>

class CClickableWidget;
class CFrameResizer;

// Base of the main window: a top-level window without the system frame that
// is moved by dragging its background, resized by its outer edges, and can
// lay a translucent grey mask over everything while a modal dialog is open.
class CWindowBase : public QMainWindow
{
    Q_OBJECT
public:
    explicit CWindowBase(QWidget* parent = nullptr);

    void setMaskVisible(bool show);
    bool isMaskVisible() const { return maskShown; }
    // The mask, null until first shown; for inspection.
    CClickableWidget* grayMask() const { return maskWidget; }

signals:
    void grayMaskClicked();
    void windowMoving();
    void windowMoved();

public slots:
    void closeBtnClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    CClickableWidget* maskWidget = nullptr;
    bool maskShown = false;
    bool moving = false;
    bool pressed = false;
    QPoint pressGlobalPos;
    QPoint pressWindowPos;
    // Edge resizing; Windows does it through the native hit test instead.
    CFrameResizer* resizer = nullptr;
};
