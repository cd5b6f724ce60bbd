#include "weather/weather.h"
#include "platform/jsontext.h"

#include "platform/filemodes.h"

#include "core/deployment.h"
#include "core/logmanager.h"
#include "core/netstatewathcer.h"
#include "core/singlenetworkmanger.h"
#include "weather/weatherlog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>

namespace {
QString& iconDirectoryOverride()
{
    static QString directory;
    return directory;
}

std::function<QDateTime()>& weatherClock()
{
    static std::function<QDateTime()> current;
    return current;
}

const QHash<QString, QString>& iconFiles()
{
    static const QHash<QString, QString> files = [] {
        const QList<QPair<QString, QStringList>> groups = {
            {"sunny.png", {"晴"}},
            {"cloudy.png", {"多云"}},
            {"overcast.png", {"阴"}},
            {"lightrain.png", {"小雨", "小雨-中雨", "雨夹雪"}},
            {"moderaterain.png",
             {"中雨", "大雨", "暴雨", "大暴雨", "特大暴雨", "中雨-大雨", "大雨-暴雨", "暴雨-大暴雨",
              "大暴雨-特大暴雨"}},
            {"thunderstorm.png", {"阵雨", "雷阵雨", "雷阵雨并伴有冰雹"}},
            {"lightsnow.png",
             {"阵雪", "小雪", "中雪", "大雪", "暴雪", "小雪-中雪", "中雪-大雪", "大雪-暴雪"}},
            {"fogs.png", {"雾", "轻雾"}},
            {"haze.png", {"沙尘暴", "浮尘", "扬沙", "强沙尘暴", "霾"}},
        };
        QHash<QString, QString> table;
        for (const auto& group : groups) {
            for (const QString& phrase : group.second) {
                table.insert(phrase, group.first);
            }
        }
        return table;
    }();
    return files;
}
} // namespace

CWeather::CWeather()
{
    const QString key =
        QString::fromLatin1(QUrl::toPercentEncoding(CDeployment::value(CDeployment::WeatherApiKey)));
    m_urlTemplate = CDeployment::value(CDeployment::WeatherOrigin) +
                    QStringLiteral("/v3/weather/weatherInfo?key=") + key +
                    QStringLiteral("&city=%1&extensions=all&output=JSON");
    connect(&m_locate, &IPLocate::cityNameReady, this, &CWeather::onCityNameOK);
    m_nextDay.setSingleShot(true);
    connect(&m_nextDay, &QTimer::timeout, this, &CWeather::onNextDay);
    connect(CNetStateWathcer::instance().get(), &CNetStateWathcer::netStateChange, this,
            &CWeather::onNetState);
}

CWeather::~CWeather()
{
    releaseReply();
}

bool CWeather::isFresh() const
{
    return m_fresh && !m_data.days.isEmpty() && m_data.days.first().date.date() == now().date();
}

void CWeather::watchForNextDay()
{
    m_nextDay.stop();
    if (!isFresh()) {
        return;
    }
    const QDateTime current = now();
    const QDateTime midnight(current.date().addDays(1), QTime(0, 0));
    m_nextDay.start(int(qBound<qint64>(1, current.msecsTo(midnight), 24 * 3600 * 1000)));
}

void CWeather::onNextDay()
{
    if (isFresh()) {
        watchForNextDay(); // woken a little early
        return;
    }
    qCDebug(lcWeather) << "weather: a new day, fetching the forecast again";
    // Until the new forecast comes, the days that have passed are not shown as today.
    const QDate today = now().date();
    QList<ForecastDay> days = m_data.days;
    days.erase(std::remove_if(days.begin(), days.end(),
                              [&](const ForecastDay& day) { return day.date.date() < today; }),
               days.end());
    if (!days.isEmpty() && days.size() != m_data.days.size()) {
        m_data.days = days;
        m_data.updateTime = days.first().date;
        emit weaDataReady();
    }
    if (!m_reply) {
        startLocate();
    }
}

bool CWeather::loadLocalData()
{
    if (isFresh()) {
        return false;
    }
    bool used = false;
    WeatherData cached;
    if (readCacheFile(cached)) {
        m_data = cached;
        used = true;
        emit weaDataReady();
        qCDebug(lcWeather) << "read local weather data file OK";
    }
    m_fresh = false;
    return used;
}

bool CWeather::startLocate()
{
    return m_locate.startReq();
}

void CWeather::releaseReply(bool abort)
{
    if (m_reply) {
        m_reply->disconnect(this);
        if (abort && m_reply->isRunning()) {
            m_reply->abort();
        }
        m_reply->deleteLater();
    }
    m_reply = nullptr;
}

void CWeather::useDefaultData()
{
    m_fresh = false;
    m_data = defaultWeatherData();
    emit weaDataReady();
    qCDebug(lcWeather) << "weather: use default weather";
}

void CWeather::onCityNameOK(QString name, bool bDefault)
{
    if (!m_data.days.isEmpty() && bDefault) {
        return;
    }
    m_cityName = name;
    releaseReply();
    const QString address = m_urlTemplate.arg(QString::fromLatin1(QUrl::toPercentEncoding(name)));
    m_reply = CSingleNetworkManger::instance()->manager()->get(
        QNetworkRequest(QUrl::fromEncoded(address.toLatin1(), QUrl::StrictMode)));
    connect(m_reply, &QNetworkReply::finished, this, &CWeather::onFinished);
    connect(m_reply, &QNetworkReply::errorOccurred, this, &CWeather::onError);
}

void CWeather::onFinished()
{
    if (!m_reply || sender() != m_reply) {
        return;
    }
    if (m_reply->error() != QNetworkReply::NoError) {
        releaseReply();
        return;
    }
    const QByteArray body = m_reply->readAll();
    releaseReply();

    WeatherData fresh;
    // A forecast without days would replace held days (and the cache) with nothing.
    if (parseWeather(body, false, fresh) && !fresh.days.isEmpty()) {
        m_fresh = true;
        m_data = fresh;
        watchForNextDay();
        emit weaDataReady();
        QFile::remove(cacheFilePath());
        QFile file(cacheFilePath());
        if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
            file.write(body);
        }
        qCDebug(lcWeather) << "weather: get data OK";
        return;
    }
    qCDebug(lcWeather) << "weather: get data fail";
    if (m_data.days.isEmpty()) {
        useDefaultData();
    }
}

void CWeather::onError(QNetworkReply::NetworkError code)
{
    Q_UNUSED(code)
    if (!m_reply || sender() != m_reply) {
        return;
    }
    qCDebug(lcWeather) << "weather: get data network error";
    // Not aborted: the reply is inside its own error report and finishes by itself.
    releaseReply(false);
    if (m_data.days.isEmpty()) {
        useDefaultData();
    }
}

void CWeather::onNetState(bool bOK)
{
    if (bOK && !isFresh() && !m_reply) {
        startLocate();
    }
}

bool CWeather::parseWeather(const QByteArray& body, bool fromCache, WeatherData& data)
{
    WeatherData parsed;
    parsed.updateTime = now();
    const QJsonObject answer = CJsonText::parse(body).object();
    if (answer.value(QStringLiteral("status")).toString() != QLatin1String("1")) {
        return false;
    }
    const QJsonObject forecast = answer.value(QStringLiteral("forecasts")).toArray().first().toObject();
    parsed.city = forecast.value(QStringLiteral("city")).toString().remove(QStringLiteral("市"));
    if (parsed.city.isEmpty()) {
        return false;
    }
    for (const QJsonValue& value : forecast.value(QStringLiteral("casts")).toArray()) {
        const QJsonObject cast = value.toObject();
        if (cast.isEmpty()) {
            continue;
        }
        ForecastDay day;
        day.dayTemp = cast.value(QStringLiteral("daytemp")).toString();
        day.nightTemp = cast.value(QStringLiteral("nighttemp")).toString();
        day.weather = cast.value(QStringLiteral("dayweather")).toString();
        if (day.weather.isEmpty()) {
            day.weather = cast.value(QStringLiteral("nightweather")).toString();
        }
        day.date = QDateTime(
            QDate::fromString(cast.value(QStringLiteral("date")).toString(), QStringLiteral("yyyy-MM-dd")),
            QTime(0, 0));
        parsed.days.append(day);
    }
    if (!parsed.days.isEmpty() && !fromCache) {
        parsed.updateTime = parsed.days.first().date;
    }
    // For a cached answer this drops the days that have passed since.
    const QDate reference = parsed.updateTime.date();
    parsed.days.erase(std::remove_if(parsed.days.begin(), parsed.days.end(),
                                     [&](const ForecastDay& day) { return day.date.date() < reference; }),
                      parsed.days.end());
    data = parsed;
    return true;
}

WeatherData CWeather::defaultWeatherData()
{
    WeatherData data;
    data.city = QStringLiteral("深圳");
    data.updateTime = now();
    const QDate today = data.updateTime.date();
    for (int i = 0; i < 5; ++i) {
        ForecastDay day;
        day.date = QDateTime(today.addDays(i), QTime(0, 0));
        day.weather = QStringLiteral("未知");
        data.days.append(day);
    }
    return data;
}

QString CWeather::cacheFilePath()
{
    return QDir(dataDirectory()).filePath(QStringLiteral("WeatherData.json"));
}

bool CWeather::readCacheFile(WeatherData& data)
{
    QFile file(cacheFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    restrictFileToUser(file.fileName());
    return parseWeather(file.readAll(), true, data);
}

QString CWeather::temperatureText(const ForecastDay& day)
{
    if (!day.dayTemp.isEmpty()) {
        return QString::number(day.dayTemp.toInt());
    }
    if (!day.nightTemp.isEmpty()) {
        return QString::number(day.nightTemp.toInt());
    }
    return QStringLiteral("--");
}

QString CWeather::weekDayName(const ForecastDay& day)
{
    const QDate date = day.date.date();
    if (!date.isValid()) {
        return QString();
    }
    switch (date.dayOfWeek()) {
    case 1:
        return QCoreApplication::translate("week", "周一");
    case 2:
        return QCoreApplication::translate("week", "周二");
    case 3:
        return QCoreApplication::translate("week", "周三");
    case 4:
        return QCoreApplication::translate("week", "周四");
    case 5:
        return QCoreApplication::translate("week", "周五");
    case 6:
        return QCoreApplication::translate("week", "周六");
    default:
        return QCoreApplication::translate("week", "周日");
    }
}

QString CWeather::iconPath(const QString& phrase)
{
    QString directory = iconDirectoryOverride();
    if (directory.isEmpty()) {
        directory = QCoreApplication::applicationDirPath() + QStringLiteral("/image/wea/");
    } else if (!directory.endsWith(QLatin1Char('/'))) {
        directory += QLatin1Char('/');
    }
    return directory + iconFiles().value(phrase, QStringLiteral("unknown.png"));
}

QPixmap CWeather::iconPixmap(const QString& phrase)
{
    return QPixmap(iconPath(phrase));
}

void CWeather::setIconDirectoryForTesting(const QString& directory)
{
    iconDirectoryOverride() = directory;
}

void CWeather::setClockForTesting(std::function<QDateTime()> clock)
{
    weatherClock() = std::move(clock);
}

QDateTime CWeather::now()
{
    return weatherClock() ? weatherClock()() : QDateTime::currentDateTime();
}
