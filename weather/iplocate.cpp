#include "weather/iplocate.h"
#include "platform/jsontext.h"

#include "core/deployment.h"
#include "core/singlenetworkmanger.h"
#include "weather/weatherlog.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

IPLocate::IPLocate(QObject* parent) : QObject(parent)
{
    m_key = CDeployment::value(CDeployment::WeatherApiKey);
    QUrl url(CDeployment::value(CDeployment::WeatherIpLocateOrigin) + QStringLiteral("/v3/ip"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("key"), m_key);
    url.setQuery(query);
    m_url = url.toString(QUrl::FullyEncoded);
}

IPLocate::~IPLocate()
{
    releaseReply();
}

QString IPLocate::defaultCity()
{
    return QStringLiteral("深圳市");
}

bool IPLocate::startReq()
{
    if (m_busy) {
        return false;
    }
    m_busy = true;
    qCDebug(lcWeather) << "IP locate startReq";
    ++m_attempts;
    const QUrl url(m_url, QUrl::StrictMode);
    if (!url.isValid()) {
        m_busy = false;
        return false;
    }
    m_reply = CSingleNetworkManger::instance()->manager()->get(QNetworkRequest(url));
    connect(m_reply, &QNetworkReply::finished, this, &IPLocate::onFinished);
    return true;
}

void IPLocate::releaseReply()
{
    if (m_reply) {
        m_reply->disconnect(this);
        if (m_reply->isRunning()) {
            m_reply->abort();
        }
        m_reply->deleteLater();
    }
    m_reply = nullptr;
}

void IPLocate::onFinished()
{
    m_busy = false;
    if (!m_reply || sender() != m_reply) {
        return;
    }
    // A failed attempt never keeps the city of an earlier answer: the default
    // (or the retry) must follow every failure.
    if (m_reply->error() != QNetworkReply::NoError) {
        qCDebug(lcWeather).noquote() << "IP locate error: " + m_reply->errorString();
        releaseReply();
        m_cityName.clear();
        onDefault();
        return;
    }
    const QByteArray body = m_reply->readAll();
    releaseReply();
    m_cityName = cityFromAnswer(body);
    if (m_cityName.isEmpty()) {
        onDefault();
        return;
    }
    // The next locating (network back) again gets its one retry.
    m_attempts = 0;
    qCDebug(lcWeather).noquote() << "IP locate city: " + m_cityName;
    emit cityNameReady(m_cityName, false);
}

QString IPLocate::cityFromAnswer(const QByteArray& body)
{
    const QString text = QString::fromUtf8(body);
    const int first = text.indexOf(QLatin1Char('{'));
    const int last = text.lastIndexOf(QLatin1Char('}'));
    if (first < 0 || last < first) {
        return QString();
    }
    const QJsonObject answer = CJsonText::parse(text.mid(first, last - first + 1).toUtf8()).object();
    return answer.value(QStringLiteral("city")).toString();
}

void IPLocate::onDefault()
{
    if (!m_cityName.isEmpty()) {
        return;
    }
    // A retry that cannot even be sent falls through to the default, so the
    // home page always gets a city.
    if (m_attempts < 2) {
        ++m_attempts;
        if (startReq()) {
            return;
        }
    }
    m_attempts = 0;
    qCDebug(lcWeather) << "IP locate using default city";
    m_cityName = defaultCity();
    emit cityNameReady(m_cityName, true);
}
