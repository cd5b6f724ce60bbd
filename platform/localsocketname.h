#pragma once

#include <QString>

// Local sockets are per user: every server or client name of the client goes
// through here, so the socket file lives in the user's runtime folder
// ($XDG_RUNTIME_DIR, else a 0700 folder <temp>/runtime-<user>).
QString localSocketName(const QString& name);
