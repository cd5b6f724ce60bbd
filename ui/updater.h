#pragma once

#include <QString>

#include <functional>

class DialogUpdate;
class QWidget;

// The auto-update boundary. Callers use these operations in the order start-up
// and quit need them: initialise, enable automatic checks, set the quit
// callback, check silently; the menu's interactive check; clean-up at quit.
// They are bound to the client's own updater: the feed at
// "<download origin>/static/download/linux/appcast.xml", packages signed with
// the deployment's Ed25519 key, handed to the system's installer.
class CUpdater
{
public:
    static void init();
    static void setAutomaticCheckForUpdates(bool enabled);
    static void setShutdownRequestCallback(std::function<void()> callback);
    // After the first window's first paint (never before it), then once a
    // day while automatic checks are on; tells the main window's tip area
    // only when a newer version is offered.
    static void checkUpdateWithoutUi();
    // The interactive check behind the main window's menu entry: a dialog,
    // already checking, for the caller to run.
    static DialogUpdate* checkUpdateWithUi(QWidget* parent);
    static void cleanup();

    static constexpr int kAutomaticCheckIntervalMs = 24 * 60 * 60 * 1000;
    // Test seams: the interval of automatic checks (0 restores a day), and
    // the directory downloads go to ("" restores the cache directory).
    static void setAutomaticCheckIntervalForTesting(int ms);
    static void setDownloadDirectoryForTesting(const QString& directory);
    // How many silent checks have been started since init().
    static int silentCheckCountForTesting();
};
