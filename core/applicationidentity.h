#pragma once

// Version, organisation and application names, the high-DPI attribute and the
// log message pattern; call before the application object exists.
void setApplicationIdentity();
