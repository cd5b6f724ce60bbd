#pragma once

#include <QString>
#include <QStringList>

// Hands a verified package to the system's installer, started detached so
// that it outlives the client, which quits to be replaced.
class CUpdateHandOff
{
public:
    enum class Outcome
    {
        InstallerStarted, // the installer runs; the client should quit
        ShownOnly,        // nothing could install it: the user is told where it lies
    };

    // The program and arguments used for path, in order of preference:
    // "pkexec apt-get install -y <path>" where both exist, else "xdg-open
    // <path>" (the desktop's package installer); empty when neither exists.
    static QStringList command(const QString& path);
    static Outcome handOff(const QString& path);

    // Test seam: program and arguments to start instead, "%f" standing for
    // the package's path; an empty list restores the system's installer.
    static void setCommandForTesting(const QStringList& command);
};
