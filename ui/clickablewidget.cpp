#include "ui/clickablewidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

CClickableWidget::CClickableWidget(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

void CClickableWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    emit mousePressed();
    event->ignore();
}

void CClickableWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    emit mouseReleased();
    event->ignore();
}

// A plain QWidget subclass draws no style-sheet background unless asked.
void CClickableWidget::paintEvent(QPaintEvent*)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
