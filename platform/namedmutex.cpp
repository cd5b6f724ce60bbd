#include "platform/namedmutex.h"

#include "platform/localsocketname.h"

#include <QDir>
#include <QLockFile>

CNamedMutex::CNamedMutex(const QString& name)
{
    // The socket of the same name takes the plain path, hence the suffix.
    QString path = localSocketName(name);
    if (QDir::isRelativePath(path)) {
        path = QDir(QDir::tempPath()).filePath(path);
    }
    m_lock = std::make_unique<QLockFile>(path + ".lock");
    m_lock->setStaleLockTime(0);
    m_alreadyExisted = !m_lock->tryLock(0);
    if (m_alreadyExisted) {
        m_lock.reset();
    }
}

CNamedMutex::~CNamedMutex() = default;
