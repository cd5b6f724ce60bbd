#pragma once

#include <QString>

#include <memory>

class QLockFile;

// A system-wide marker telling installers and updaters that the client runs.
// Linux has no named mutex: a lock file of the same name in the user's runtime
// directory serves; it is held until the object (or the process) goes away.
class CNamedMutex
{
public:
    explicit CNamedMutex(const QString& name);
    ~CNamedMutex();

    // True when another live process already held the marker.
    bool alreadyExisted() const { return m_alreadyExisted; }

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_alreadyExisted = false;
};
