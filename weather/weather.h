#pragma once

#include "core/singleton.h"
#include "weather/iplocate.h"
#include "weather/weatherdata.h"

#include <QNetworkReply>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

// The forecast for the PC's city: the cached answer at start, then the
// service's answer, the fixed default when nothing works.
class CWeather : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CWeather)
public:
    ~CWeather() override;

    bool loadLocalData();
    bool startLocate();
    const WeatherData& weatherData() const { return m_data; }
    // Whether the data came from the service during this run and its first
    // day is still today.
    bool isFresh() const;
    bool isRequesting() const { return !m_reply.isNull(); }

    static QString temperatureText(const ForecastDay& day);
    static QString weekDayName(const ForecastDay& day);
    static QString iconPath(const QString& phrase);
    static QPixmap iconPixmap(const QString& phrase);

    // Parses a weather answer; fromCache keeps the days' own dates as the
    // reference for dropping the past ones. False when it is no forecast.
    static bool parseWeather(const QByteArray& body, bool fromCache, WeatherData& data);
    static WeatherData defaultWeatherData();
    static QString cacheFilePath();
    // The cache file, restricted to the user and parsed; false when it is
    // missing or holds no forecast.
    static bool readCacheFile(WeatherData& data);

    // Test seam: the folder of the icons instead of the one beside the program.
    static void setIconDirectoryForTesting(const QString& directory);
    // Test seam: the clock that decides which day is today (null restores it).
    static void setClockForTesting(std::function<QDateTime()> clock);
    static QDateTime now();

signals:
    void weaDataReady();

private slots:
    void onCityNameOK(QString name, bool bDefault);
    void onFinished();
    void onError(QNetworkReply::NetworkError code);
    void onNetState(bool bOK);

private:
    CWeather();
    void useDefaultData();
    // At the end of the first held day the forecast is stale: fetched again.
    void watchForNextDay();
    void onNextDay();
    void releaseReply(bool abort = true);

    QString m_urlTemplate;
    QPointer<QNetworkReply> m_reply;
    bool m_fresh = false;
    WeatherData m_data;
    QString m_cityName;
    IPLocate m_locate;
    QTimer m_nextDay;
};
