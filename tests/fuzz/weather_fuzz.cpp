// libFuzzer target: the weather service's forecast answer. The first byte
// says whether it is read as the cache (the days' own dates decide what has
// passed) or as a fresh answer; the clock is fixed so that runs repeat.
#include "fuzzsupport.h"
#include "weather/weather.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    CWeather::setClockForTesting([] { return QDateTime(QDate(2026, 12, 11), QTime(9, 30)); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    WeatherData parsed;
    if (CWeather::parseWeather(FuzzSupport::bytes(data + 1, size - 1), data[0] & 1, parsed)) {
        if (parsed.city.isEmpty()) {
            std::abort();
        }
        for (const ForecastDay& day : qAsConst(parsed.days)) {
            CWeather::temperatureText(day);
            CWeather::weekDayName(day);
            CWeather::iconPath(day.weather);
        }
    }
    return 0;
}
