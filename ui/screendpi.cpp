#include "ui/screendpi.h"

#include <QGuiApplication>
#include <QScreen>

double primaryScreenLogicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 0.0;
}
