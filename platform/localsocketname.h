#pragma once

#include <QString>

// Local sockets are per user: every server or client name of the client goes
// through here, so the socket file lives in the user's runtime directory
// ($XDG_RUNTIME_DIR) and falls back to Qt's default location without it.
QString localSocketName(const QString& name);
