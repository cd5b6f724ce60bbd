#pragma once

// Start-up and shut-down of the client, in the order they must happen.
// setApplicationIdentity() (core/applicationidentity.h) comes first.

// Runs the whole client: log, application object, single-instance hand-over,
// main window, updater, event loop. Returns the process exit code.
int runClient(int& argc, char** argv);

// Tears everything down at aboutToQuit, in the fixed release order.
void onQuitCleanup();
