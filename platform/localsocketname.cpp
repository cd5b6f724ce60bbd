#include "platform/localsocketname.h"

#include "platform/platformlog.h"

#include <QDebug>
#include <QDir>
#include <QStandardPaths>

QString localSocketName(const QString& name)
{
    // Qt's runtime location is $XDG_RUNTIME_DIR, or without it
    // <temp>/runtime-<user>, created 0700 and refused when another user owns it:
    // a shared folder would let another user's client hold this user's names.
    const QString runtimeDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtimeDir.isEmpty()) {
        qCDebug(lcPlatform) << "localSocketName: no private runtime folder, using the temp folder";
    }
    return runtimeDir.isEmpty() ? name : QDir(runtimeDir).filePath(name);
}
