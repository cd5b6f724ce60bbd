#pragma once

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QtTest>

// Text into a line edit the way the user puts it there: key by key (any
// character, also outside Latin-1) or pasted from the clipboard with Ctrl+V.
namespace Typing {
inline void type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

inline void paste(QLineEdit* edit, const QString& text)
{
    QApplication::clipboard()->setText(text);
    edit->setFocus();
    QTest::keySequence(edit, QKeySequence::Paste);
}

// Empties the field by keys, so text-changed handlers run as for the user.
inline void clear(QLineEdit* edit)
{
    edit->setFocus();
    QTest::keySequence(edit, QKeySequence::SelectAll);
    QTest::keyClick(edit, Qt::Key_Backspace);
}

// Return pressed and let go in widget.
inline void pressReturn(QWidget* widget)
{
    QTest::keyClick(widget, Qt::Key_Return);
}
} // namespace Typing
