#include "ui/stylesheet.h"

#include <QFile>

bool readStyleSheet(const QString& name, QString& sheet)
{
    QFile file(QStringLiteral(":/wid/qss/%1.qss").arg(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    sheet = QString::fromUtf8(file.readAll());
    return true;
}
