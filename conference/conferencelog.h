#pragma once

#include <QLoggingCategory>

// The log lines of conference/, "vantelor.conference": QT_LOGGING_RULES switches them on or off.
Q_DECLARE_LOGGING_CATEGORY(lcConference)
