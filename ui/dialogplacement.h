#pragma once

class QWidget;

// The centring rule of every dialog's relocateToCenter(): the middle of the
// parent widget, in the parent's coordinates (integer division). A dialog
// without a parent stays where it is. Dialogs of the main window are frameless
// children of it, so they move and clip with the window.
void centerOnParent(QWidget* dialog);
