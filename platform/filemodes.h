#pragma once

#include <QString>

// The client's files hold credentials (the remembered password, tickets in
// the web storage): they are for the user who runs it only. On Windows the
// profile folder's access list already does this, and these do nothing.

// New files and folders of this process: no access for group or others.
void restrictNewFilesToUser();
// Creates the folder if needed and leaves it 0700.
bool restrictDirectoryToUser(const QString& path);
// Leaves an existing file 0600.
bool restrictFileToUser(const QString& path);
