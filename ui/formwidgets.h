#pragma once

#include <QRect>
#include <QString>

class QFont;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QWidget;

// Builders for the absolutely placed widgets of the account dialogs.
namespace FormWidgets {
// The font every account dialog sets on itself.
QFont dialogFont();
QLabel* label(QWidget* parent, const char* name, const QRect& geometry, const QString& text = QString(),
              Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
// A label for text from outside (service messages, names): shown as plain
// text, never as markup.
QLabel* messageLabel(QWidget* parent, const char* name, const QRect& geometry);
// A right-aligned field caption.
QLabel* caption(QWidget* parent, const char* name, const QRect& geometry, const QString& text);
QLineEdit* edit(QWidget* parent, const char* name, const QRect& geometry);
// A password field of at most 32 characters.
QLineEdit* passwordEdit(QWidget* parent, const char* name, const QRect& geometry);
// Flat, pointing hand, no keyboard focus and never a default button: Return
// belongs to the fields' own handling.
QPushButton* button(QWidget* parent, const char* name, const QRect& geometry,
                    const QString& text = QString());
// A new last page of stack.
QWidget* page(QStackedWidget* stack, const char* name);
} // namespace FormWidgets
