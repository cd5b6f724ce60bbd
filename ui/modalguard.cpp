#include "ui/modalguard.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QList>
#include <QShortcut>
#include <QWidget>

namespace {
QList<CModalGuard*>& guards()
{
    static QList<CModalGuard*> list;
    return list;
}

// The widget an event for receiver acts on: a shortcut's or an action's.
QWidget* widgetOf(QObject* receiver)
{
    if (auto* widget = qobject_cast<QWidget*>(receiver)) {
        return widget;
    }
    if (auto* shortcut = qobject_cast<QShortcut*>(receiver)) {
        return shortcut->parentWidget();
    }
    if (auto* action = qobject_cast<QAction*>(receiver)) {
        const QList<QWidget*> widgets = action->associatedWidgets();
        return widgets.isEmpty() ? nullptr : widgets.first();
    }
    return nullptr;
}
} // namespace

CModalGuard::CModalGuard(QWidget* dialog, QWidget* mask)
    : QObject(dialog), m_dialog(dialog), m_window(dialog->window()), m_mask(mask)
{
    guards().append(this);
    qApp->installEventFilter(this);
}

CModalGuard::~CModalGuard()
{
    guards().removeOne(this);
}

bool CModalGuard::isOutside(const QWidget* widget) const
{
    return widget && m_dialog && widget->window() == m_window && widget != m_dialog &&
           !m_dialog->isAncestorOf(widget);
}

void CModalGuard::moveFocus(bool forward)
{
    QWidget* current = QApplication::focusWidget();
    if (!current || isOutside(current)) {
        current = m_dialog;
    }
    // The window's focus chain holds every widget once: walk it round once.
    for (QWidget* next = current;;) {
        next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
        if (!next || next == current) {
            return;
        }
        if (m_dialog->isAncestorOf(next) && !next->focusProxy() && next->isVisible() && next->isEnabled() &&
            (next->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

void CModalGuard::focusBackInside()
{
    if (!m_dialog || !m_dialog->isVisible()) {
        return;
    }
    QWidget* focus = QApplication::focusWidget();
    if (focus && !isOutside(focus)) {
        return;
    }
    if (m_lastFocus && m_lastFocus->isVisible() && m_lastFocus->isEnabled()) {
        m_lastFocus->setFocus(Qt::OtherFocusReason);
    } else {
        m_dialog->setFocus(Qt::OtherFocusReason);
    }
}

bool CModalGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (guards().isEmpty() || guards().last() != this || !m_dialog || !m_dialog->isVisible()) {
        return false;
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        if (isOutside(widgetOf(watched))) {
            // Accepted: the key is not a shortcut either.
            event->accept();
            return true;
        }
        return false;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        QWidget* widget = widgetOf(watched);
        if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && widget &&
            widget == QApplication::focusWidget() && widget->window() == m_window) {
            moveFocus(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
        return isOutside(widget);
    }
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
        // Also keys that the dialog left unaccepted, on their way up to the window.
        return isOutside(widgetOf(watched));
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu: {
        // The mask and the window beneath it keep theirs (a click on the
        // mask, moving and resizing the window).
        QWidget* widget = widgetOf(watched);
        return widget != m_mask && widget != m_window && isOutside(widget);
    }
    case QEvent::FocusIn: {
        QWidget* widget = widgetOf(watched);
        if (isOutside(widget)) {
            QMetaObject::invokeMethod(this, &CModalGuard::focusBackInside, Qt::QueuedConnection);
        } else if (widget && widget != m_dialog && m_dialog->isAncestorOf(widget)) {
            m_lastFocus = widget;
        }
        return false;
    }
    default:
        return false;
    }
}
