#pragma once

#include <QString>

// Gives the test process directories of its own: home, settings and data
// (XDG_CONFIG_HOME), runtime (local sockets) and TMPDIR. Call from initMain(),
// before any Qt object reads them; the tree is removed at exit.
namespace TestEnvironment {
void isolate();
QString root();
QString runtimeDir();
// Path of a program built beside the client, e.g. "vantelor".
QString binary(const QString& name);
} // namespace TestEnvironment
