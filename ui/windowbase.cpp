#include "ui/windowbase.h"

#include "ui/clickablewidget.h"
#include "ui/frameresizer.h"

#include <QMouseEvent>

CWindowBase::CWindowBase(QWidget* parent) : QMainWindow(parent)
{
    setWindowFlags(Qt::FramelessWindowHint);
    moving = false;
    pressed = false;
    maskShown = false;
    resizer = new CFrameResizer(this);
}

void CWindowBase::setMaskVisible(bool show)
{
    if (!maskWidget) {
        maskWidget = new CClickableWidget(this);
        maskWidget->setObjectName(QStringLiteral("maskWidget"));
        maskWidget->setStyleSheet(QStringLiteral("#maskWidget {background-color:rgba(10, 10, 10,100);}"));
        maskWidget->hide();
        connect(maskWidget, &CClickableWidget::mouseReleased, this, &CWindowBase::grayMaskClicked);
    }
    if (show) {
        maskWidget->move(0, 0);
        maskWidget->resize(size());
        maskWidget->raise();
        maskWidget->show();
        maskShown = true;
    } else {
        maskWidget->hide();
        maskShown = false;
    }
}

void CWindowBase::closeBtnClicked()
{
    close();
}

void CWindowBase::mousePressEvent(QMouseEvent* event)
{
    if (isMaximized()) {
        QMainWindow::mousePressEvent(event);
        return;
    }
    if (rect().contains(event->pos()) && event->button() == Qt::LeftButton) {
        pressWindowPos = pos();
        pressGlobalPos = event->globalPos();
        pressed = true;
        event->accept();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void CWindowBase::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed) {
        QMainWindow::mouseMoveEvent(event);
        return;
    }
    moving = true;
    emit windowMoving();
    move(pressWindowPos + (event->globalPos() - pressGlobalPos));
    event->accept();
}

void CWindowBase::mouseReleaseEvent(QMouseEvent* event)
{
    moving = false;
    if (isMaximized() || event->button() != Qt::LeftButton) {
        QMainWindow::mouseReleaseEvent(event);
        return;
    }
    pressed = false;
    emit windowMoved();
    event->accept();
}

void CWindowBase::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (maskWidget) {
        maskWidget->resize(size());
    }
}
