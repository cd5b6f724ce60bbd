#pragma once

#include <QSize>

class QDialog;
class QPushButton;
class QString;

// Frames a dialog that is not built yet: frameless child of its parent, white
// with a title and a close button; Escape closes it as QDialog does. The
// dialog's own issue replaces this with the real form.
void buildPlaceholderDialog(QDialog* dialog, const char* objectName, const QSize& size, const QString& title);

// A text link at the bottom of such a dialog, at the given slot from the left (0, 1, ...).
QPushButton* addPlaceholderLink(QDialog* dialog, int slot, const QString& text);
