#pragma once

#include <QLoggingCategory>

// The log lines of ui/, "vantelor.ui": QT_LOGGING_RULES switches them on or off.
Q_DECLARE_LOGGING_CATEGORY(lcUi)
