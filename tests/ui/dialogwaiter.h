#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>

// Modal dialogs block the caller: this runs check on the first visible dialog
// of type T under parent once it is open, from inside its event loop.
template <class T> void whenDialogOpen(QWidget* parent, std::function<void(T*)> check)
{
    auto* timer = new QTimer(parent);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, parent, [timer, parent, check] {
        for (T* dialog : parent->findChildren<T*>()) {
            if (dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                check(dialog);
                return;
            }
        }
    });
    timer->start();
}
