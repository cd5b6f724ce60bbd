#include "platform/filemodes.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

void restrictNewFilesToUser()
{
#ifdef Q_OS_UNIX
    umask(S_IRWXG | S_IRWXO);
#endif
}

bool restrictDirectoryToUser(const QString& path)
{
    if (!QDir().mkpath(path)) {
        return false;
    }
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
}

bool restrictFileToUser(const QString& path)
{
    return QFile::setPermissions(path,
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}
