#pragma once

#include <QLoggingCategory>

// The log lines of weather/, "vantelor.weather": QT_LOGGING_RULES switches them on or off.
Q_DECLARE_LOGGING_CATEGORY(lcWeather)
