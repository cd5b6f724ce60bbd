#include "platform/localsocketname.h"

#include <QDir>
#include <QFileInfo>

QString localSocketName(const QString& name)
{
    const QString runtimeDir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (runtimeDir.isEmpty() || !QFileInfo(runtimeDir).isDir()) {
        return name;
    }
    return QDir(runtimeDir).filePath(name);
}
