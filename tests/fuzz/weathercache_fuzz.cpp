// libFuzzer target: the weather cache file as the client reads it at start,
// written into the target's own data directory; the clock is fixed.
#include "fuzzsupport.h"
#include "weather/weather.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    CWeather::setClockForTesting([] { return QDateTime(QDate(2026, 12, 11), QTime(9, 30)); });
    const QString path = CWeather::cacheFilePath();
    if (!path.startsWith(FuzzSupport::directory() + "/") || !QDir().mkpath(QFileInfo(path).path())) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QFile file(CWeather::cacheFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        std::abort();
    }
    file.close();
    WeatherData cached;
    if (CWeather::readCacheFile(cached) && cached.city.isEmpty()) {
        std::abort();
    }
    return 0;
}
