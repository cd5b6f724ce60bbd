#include "ui/actionbutton.h"

#include <QPushButton>

void setActionButtonEnabled(QPushButton* button, bool enabled)
{
    button->setEnabled(enabled);
    if (enabled) {
        button->setStyleSheet(QStringLiteral("QPushButton{background-color: rgb(1,149,255);}"));
        button->setCursor(Qt::PointingHandCursor);
    } else {
        button->setStyleSheet(QStringLiteral("QPushButton{background-color: gray;}"));
        button->setCursor(Qt::ArrowCursor);
    }
}
