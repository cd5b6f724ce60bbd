#include "ui/dialogplacement.h"

#include <QPoint>
#include <QWidget>

void centerOnParent(QWidget* dialog)
{
    const QWidget* parent = dialog->parentWidget();
    if (!parent) {
        return;
    }
    const QPoint centred((parent->width() - dialog->width()) / 2, (parent->height() - dialog->height()) / 2);
    // A dialog that is a window of its own is placed in screen coordinates.
    dialog->move(dialog->isWindow() ? parent->mapToGlobal(centred) : centred);
}
