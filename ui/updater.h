#pragma once

#include <functional>

class QWidget;

// The auto-update boundary. Callers use these operations in the order start-up
// and quit need them; the platform binds them to whatever updater it has.
class CUpdater
{
public:
    static void init();
    static void setAutomaticCheckForUpdates(bool enabled);
    static void setShutdownRequestCallback(std::function<void()> callback);
    static void checkUpdateWithoutUi();
    // The interactive check behind the main window's menu entry.
    static void checkUpdateWithUi(QWidget* parent);
    static void cleanup();
};
