#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// The main window's dialogs are frameless children of it, drawn over its grey
// mask, so the window system knows nothing of their modality. While a guard
// lives, its dialog is modal for keyboard and mouse all the same: the focus
// cycles inside the dialog, and no widget of the window outside it takes a
// key, a shortcut, a click or the focus (the mask keeps its clicks). Guards
// nest; the newest one rules.
class CModalGuard : public QObject
{
    Q_OBJECT
public:
    // Lives as long as dialog; mask is the window's grey mask.
    CModalGuard(QWidget* dialog, QWidget* mask);
    ~CModalGuard() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A widget of the dialog's window that is not the dialog or inside it.
    bool isOutside(const QWidget* widget) const;
    // Tab and Backtab: the next field of the dialog's own focus chain, the
    // first one again after the last.
    void moveFocus(bool forward);
    void focusBackInside();

    QPointer<QWidget> m_dialog;
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_mask;
    QPointer<QWidget> m_lastFocus;
};
