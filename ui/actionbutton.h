#pragma once

class QPushButton;

// The one look of an action button in every dialog: the action colour and a
// pointing hand while it can be pressed, grey and the arrow while it cannot.
void setActionButtonEnabled(QPushButton* button, bool enabled);
