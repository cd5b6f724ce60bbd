#include "standins/localservice/publicapi.h"
#include "platform/jsontext.h"

#include "standins/localservice/answer.h"
#include "standins/localservice/formbody.h"
#include "standins/localservice/httputil.h"
#include "standins/localservice/localservice.h"
#include "standins/localservice/printservice.h"
#include "standins/localservice/servicelog.h"

#include "core/serviceerrors.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>

namespace {
// Weather phrases the forecast draws from; the client has an icon for each.
const char* const kPhrases[] = {"晴",     "多云",      "阴", "小雨", "中雨", "阵雨",
                                "雷阵雨", "小雨-中雨", "雾", "霾",   "小雪"};

quint32 stableHash(const QString& text)
{
    const QByteArray digest = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5);
    return (quint32(quint8(digest[0])) << 24) | (quint32(quint8(digest[1])) << 16) |
           (quint32(quint8(digest[2])) << 8) | quint32(quint8(digest[3]));
}

QString withoutCitySuffix(const QString& city)
{
    QString bare = city;
    return bare.remove(QStringLiteral("市"));
}
} // namespace

PublicApi::PublicApi(LocalService& service) : m_service(service)
{
    service.route(
        "POST", service.deployment().printInfoPath, "printInfo",
        [this](const httplib::Request& q, httplib::Response& r, qint64) { return printInfo(q, r); });
    service.route("GET", "/v3/ip", "ipLocate",
                  [this](const httplib::Request& q, httplib::Response& r, qint64) { return ipLocate(q, r); });
    service.route("GET", "/v3/weather/weatherInfo", "weather",
                  [this](const httplib::Request& q, httplib::Response& r, qint64) { return weather(q, r); });
    service.route(
        "GET", "/dplusTrack/", "analytics",
        [this](const httplib::Request& q, httplib::Response& r, qint64) { return analytics(q, r); });
    service.routeRegex(
        "GET", R"(/static/avatar/(\d+)\.png)", "avatar",
        [this](const httplib::Request& q, httplib::Response& r, qint64) { return avatar(q, r); });
    service.routePlain("GET", "/", [](const httplib::Request&, httplib::Response& r) {
        HttpUtil::send(r, LocalService::resource("web/site/index.html"), "text/html; charset=utf-8");
    });
    service.routePlain("GET", "/static/download/windows/Inkpost_PS.exe",
                       [](const httplib::Request&, httplib::Response& r) {
                           HttpUtil::send(r,
                                          "This is the local stand-in of the Inkpost_PS printer driver "
                                          "download; it installs nothing.\n",
                                          "application/octet-stream");
                           r.set_header("Content-Disposition", "attachment; filename=\"Inkpost_PS.exe\"");
                       });
}

QString PublicApi::printInfo(const httplib::Request& req, httplib::Response& res)
{
    FormBody form;
    Answer answer;
    const Deployment& d = m_service.deployment();
    if (!form.parse(HttpUtil::body(req))) {
        answer = Answer::fail("1502", "请求格式错误: " + form.error());
    } else if (form.fields().size() != 3 || form.fields().at(0).name != "accountId" ||
               form.fields().at(1).name != "appId" || form.fields().at(2).name != "signPc") {
        answer = Answer::fail("1502", "请求格式错误: expected accountId, appId, signPc");
    } else if (form.value("appId") != d.printAppId) {
        answer = Answer::fail("1501", "appId不正确");
    } else {
        const QString accountId = form.value("accountId");
        const QByteArray expected =
            QCryptographicHash::hash(("accountId=" + accountId + "appId=" + d.printAppId).toLocal8Bit(),
                                     QCryptographicHash::Md5)
                .toHex()
                .toUpper();
        const QJsonObject data = m_service.accounts().printData(accountId.toLongLong());
        if (form.value("signPc").toLatin1() != expected) {
            answer = Answer::fail("1500", "签名校验失败 (signPc)");
        } else if (data.isEmpty()) {
            answer = Answer::fail(ServiceErrors::kUnknownAccount, ServiceErrors::kUnknownAccountText);
        } else {
            QJsonObject print = m_service.seed().value("print").toObject();
            for (auto it = data.begin(); it != data.end(); ++it) {
                print.insert(it.key(), it.value());
            }
            // The print driver's upload is authenticated with it.
            print.insert("printToken", m_service.printService().tokenFor(accountId.toLongLong()));
            answer = Answer::ok(QJsonObject{{"data", print}});
        }
    }
    HttpUtil::sendJson(res, answer.toJson());
    return answer.success ? "accepted" : "failed: " + answer.errorCode + " " + answer.errorMsg;
}

QString PublicApi::ipLocate(const httplib::Request& req, httplib::Response& res)
{
    if (HttpUtil::query(req, "key") != m_service.deployment().weatherApiKey) {
        HttpUtil::sendJson(res,
                           QJsonObject{{"status", "0"}, {"info", "INVALID_USER_KEY"}, {"infocode", "10001"}});
        return "failed: INVALID_USER_KEY";
    }
    const QJsonObject location = m_service.seed().value("location").toObject();
    HttpUtil::sendJson(res, QJsonObject{{"status", "1"},
                                        {"info", "OK"},
                                        {"infocode", "10000"},
                                        {"province", location.value("province")},
                                        {"city", location.value("city")},
                                        {"adcode", location.value("adcode")},
                                        {"rectangle", location.value("rectangle")}});
    return "accepted";
}

QJsonObject PublicApi::forecastDay(const QString& city, const QDate& date) const
{
    // Stable for a city and a day, and roughly seasonal.
    const quint32 h = stableHash(city + date.toString(Qt::ISODate));
    const int phrases = int(sizeof(kPhrases) / sizeof(kPhrases[0]));
    QString day = QString::fromUtf8(kPhrases[h % quint32(phrases)]);
    const QString night = QString::fromUtf8(kPhrases[(h / 7) % quint32(phrases)]);
    static const int seasonal[] = {6, 8, 13, 19, 24, 28, 32, 31, 27, 21, 14, 8};
    const int high = seasonal[date.month() - 1] + int((h >> 8) % 7) - 3;
    const int low = high - 5 - int((h >> 12) % 5);
    if (day == "小雪" && high > 8) {
        day = "阴";
    }
    return QJsonObject{{"date", date.toString("yyyy-MM-dd")},
                       {"week", QString::number(date.dayOfWeek())},
                       {"dayweather", day},
                       {"nightweather", night},
                       {"daytemp", QString::number(high)},
                       {"nighttemp", QString::number(low)},
                       {"daywind", "东南"},
                       {"nightwind", "东南"},
                       {"daypower", "≤3"},
                       {"nightpower", "≤3"}};
}

QString PublicApi::weather(const httplib::Request& req, httplib::Response& res)
{
    if (HttpUtil::query(req, "key") != m_service.deployment().weatherApiKey) {
        HttpUtil::sendJson(res,
                           QJsonObject{{"status", "0"}, {"info", "INVALID_USER_KEY"}, {"infocode", "10001"}});
        return "failed: INVALID_USER_KEY";
    }
    const QString city = HttpUtil::query(req, "city");
    if (city.trimmed().isEmpty()) {
        HttpUtil::sendJson(res,
                           QJsonObject{{"status", "0"}, {"info", "INVALID_PARAMS"}, {"infocode", "20000"}});
        return "failed: INVALID_PARAMS";
    }
    const QJsonObject location = m_service.seed().value("location").toObject();
    const bool home = withoutCitySuffix(city) == withoutCitySuffix(location.value("city").toString());
    const QString canonical = withoutCitySuffix(city) + "市";
    const QDate today = QDate::currentDate();
    QJsonArray casts;
    for (int i = 0; i < 4; ++i) {
        casts.append(forecastDay(canonical, today.addDays(i)));
    }
    const QJsonObject forecast{{"city", canonical},
                               {"adcode", home ? location.value("adcode").toString() : QString("000000")},
                               {"province", home ? location.value("province").toString() : QString()},
                               {"reporttime", QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss")},
                               {"casts", casts}};
    HttpUtil::sendJson(res, QJsonObject{{"status", "1"},
                                        {"count", "1"},
                                        {"info", "OK"},
                                        {"infocode", "10000"},
                                        {"forecasts", QJsonArray{forecast}}});
    return "accepted";
}

QString PublicApi::analytics(const httplib::Request& req, httplib::Response& res)
{
    const QString data = HttpUtil::query(req, "data");
    const QByteArray json = QByteArray::fromBase64(
        data.toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    const QJsonObject doc = CJsonText::parse(json).object();
    const QJsonArray events = doc.value("events").toArray();
    if (data.isEmpty() || json.isEmpty() || events.isEmpty() || !doc.value("common").isObject()) {
        const QString reason =
            data.isEmpty() ? "no data" : "data is not URL-safe Base64 of an event document";
        HttpUtil::sendJson(res, QJsonObject{{"status", "error"}, {"reason", reason}}, 400);
        return "refused: " + reason;
    }
    const QJsonObject common = doc.value("common").toObject();
    const bool keyOk = common.value("appkey").toString() == m_service.deployment().analyticsAppKey;
    QStringList names;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const QJsonValue& v : events) {
            const QJsonObject e = v.toObject();
            QJsonObject recorded{{"time", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                                 {"event_name", e.value("event_name")},
                                 {"common", common},
                                 {"appkeyValid", keyOk}};
            if (e.contains("user")) {
                recorded.insert("user", e.value("user"));
            }
            m_events.append(recorded);
            names << e.value("event_name").toString();
            if (!m_service.dataDirectory().isEmpty()) {
                QFile out(m_service.dataDirectory() + "/analytics.jsonl");
                if (out.open(QIODevice::WriteOnly | QIODevice::Append)) {
                    out.write(QJsonDocument(recorded).toJson(QJsonDocument::Compact) + "\n");
                }
            }
        }
    }
    ServiceLog::write(QString("analytics: %1%2").arg(names.join(", "), keyOk ? "" : " (unknown appkey)"));
    HttpUtil::sendJson(res, QJsonObject{{"status", "ok"}});
    return keyOk ? "accepted" : "accepted (unknown appkey)";
}

QString PublicApi::avatar(const httplib::Request& req, httplib::Response& res)
{
    const QString file = m_service.accounts().avatarFile(QString::fromStdString(req.matches[1]).toLongLong());
    QFile in(m_service.seedDirectory() + "/" + file);
    if (file.isEmpty() || file.contains("..") || !in.open(QIODevice::ReadOnly)) {
        HttpUtil::send(res, "no photo", "text/plain; charset=utf-8", 404);
        return "failed: no photo";
    }
    HttpUtil::send(res, in.readAll(), "image/png");
    return "accepted";
}

QJsonArray PublicApi::events() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

void PublicApi::clearEvents()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events = QJsonArray();
}
