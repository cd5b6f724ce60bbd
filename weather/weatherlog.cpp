#include "weather/weatherlog.h"

Q_LOGGING_CATEGORY(lcWeather, "vantelor.weather")
