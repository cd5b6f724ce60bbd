#include "ui/stylesheet.h"

#include "ui/uilog.h"

#include <QDebug>
#include <QFile>
#include <QWidget>

bool applyStyleSheet(const QString& name, std::initializer_list<QWidget*> widgets, const char* warning)
{
    QFile file(QStringLiteral(":/wid/qss/%1.qss").arg(name));
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUi) << warning;
        return false;
    }
    const QString sheet = QString::fromUtf8(file.readAll())
                              .replace(QLatin1String("@ACTION_COLOUR@"), QLatin1String(kActionColour));
    for (QWidget* widget : widgets) {
        widget->setStyleSheet(sheet);
    }
    return true;
}
