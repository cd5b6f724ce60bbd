#include "ui/actionbutton.h"

#include "ui/stylesheet.h"

#include <QPushButton>

void setActionButtonEnabled(QPushButton* button, bool enabled)
{
    button->setEnabled(enabled);
    if (enabled) {
        button->setStyleSheet(QStringLiteral("QPushButton{background-color: %1;}").arg(kActionColour));
        button->setCursor(Qt::PointingHandCursor);
    } else {
        button->setStyleSheet(QStringLiteral("QPushButton{background-color: gray;}"));
        button->setCursor(Qt::ArrowCursor);
    }
}
