#pragma once

#include <QLoggingCategory>

// The log lines of account/, "vantelor.account": QT_LOGGING_RULES switches them on or off.
Q_DECLARE_LOGGING_CATEGORY(lcAccount)
