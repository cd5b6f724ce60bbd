#include "standins/localservice/controlapi.h"
#include "platform/jsontext.h"

#include "standins/localservice/httputil.h"
#include "standins/localservice/localservice.h"
#include "standins/localservice/publicapi.h"
#include "standins/localservice/servicelog.h"

#include <QJsonArray>
#include <QJsonDocument>

ControlApi::ControlApi(LocalService& service) : m_service(service)
{
    LocalService* s = &service;
    add("GET", "/__control/health", [s](const QJsonObject&, const httplib::Request&, QString&) {
        return QJsonObject{{"service", "vantelor-localservice"}, {"port", s->port()}};
    });
    add("GET", "/__control/endpoints", [s](const QJsonObject&, const httplib::Request&, QString&) {
        return QJsonObject{{"endpoints", QJsonArray::fromStringList(s->endpoints())},
                           {"modes", QJsonArray::fromStringList(FaultTable::modes())}};
    });
    add("POST", "/__control/fault", [s](const QJsonObject& in, const httplib::Request&, QString& error) {
        if (!s->faults().set(in, s->endpoints(), error)) {
            return QJsonObject();
        }
        ServiceLog::write("control: fault " +
                          QString::fromUtf8(QJsonDocument(in).toJson(QJsonDocument::Compact)));
        return QJsonObject{{"faults", s->faults().list()}};
    });
    add("POST", "/__control/fault/clear", [s](const QJsonObject& in, const httplib::Request&, QString&) {
        s->faults().clear(in.value("endpoint").toString());
        return QJsonObject{{"faults", s->faults().list()}};
    });
    add("GET", "/__control/faults", [s](const QJsonObject&, const httplib::Request&, QString&) {
        return QJsonObject{{"faults", s->faults().list()}};
    });
    add("GET", "/__control/requests", [s](const QJsonObject&, const httplib::Request& req, QString&) {
        return QJsonObject{{"requests", s->journal().list(HttpUtil::query(req, "endpoint"),
                                                          HttpUtil::query(req, "since").toLongLong())}};
    });
    add("POST", "/__control/requests/clear", [s](const QJsonObject&, const httplib::Request&, QString&) {
        s->journal().clear();
        return QJsonObject();
    });
    add("GET", "/__control/sms", [s](const QJsonObject&, const httplib::Request& req, QString&) {
        const QJsonArray codes = s->accounts().smsCodes(HttpUtil::query(req, "phone"));
        QJsonObject out{{"codes", codes}, {"file", ServiceLog::smsCodeFile()}};
        if (!codes.isEmpty()) {
            out.insert("latest", codes.last().toObject().value("code"));
        }
        return out;
    });
    add("GET", "/__control/events", [s](const QJsonObject&, const httplib::Request&, QString&) {
        return QJsonObject{{"events", s->publicApi().events()}};
    });
    add("GET", "/__control/accounts", [s](const QJsonObject&, const httplib::Request&, QString&) {
        return QJsonObject{{"accounts", s->accounts().accounts()}};
    });
    add("POST", "/__control/kick", [s](const QJsonObject& in, const httplib::Request&, QString& error) {
        const QString phone = in.value("phone").toString();
        if (phone.isEmpty()) {
            error = "\"phone\" is required";
            return QJsonObject();
        }
        const int ended = s->accounts().kick(phone);
        ServiceLog::write(QString("control: kicked %1 (%2 sessions)").arg(phone).arg(ended));
        return QJsonObject{{"sessionsEnded", ended}};
    });
    add("POST", "/__control/clock", [s](const QJsonObject& in, const httplib::Request&, QString& error) {
        if (!in.value("skewMs").isDouble()) {
            error = "\"skewMs\" (number) is required";
            return QJsonObject();
        }
        s->setClockSkew(qint64(in.value("skewMs").toDouble()));
        ServiceLog::write(QString("control: service clock skewed by %1 ms").arg(s->clockSkew()));
        return QJsonObject{{"skewMs", double(s->clockSkew())}};
    });
    add("POST", "/__control/reset", [s](const QJsonObject&, const httplib::Request&, QString&) {
        s->reset();
        ServiceLog::write("control: reset to the seeded state");
        return QJsonObject();
    });
}

void ControlApi::add(const char* method, const char* path, const Action& action)
{
    m_service.routePlain(
        method, HttpUtil::routePattern(path), [action](const httplib::Request& req, httplib::Response& res) {
            QJsonObject in;
            if (req.method == "POST" && !req.body.empty()) {
                QJsonParseError parseError;
                const QJsonDocument doc = CJsonText::parse(HttpUtil::body(req), &parseError);
                if (!doc.isObject()) {
                    HttpUtil::sendJson(
                        res,
                        QJsonObject{{"ok", false},
                                    {"error", "body is not a JSON object: " + parseError.errorString()}},
                        400);
                    return;
                }
                in = doc.object();
            }
            QString error;
            QJsonObject out = action(in, req, error);
            if (!error.isEmpty()) {
                HttpUtil::sendJson(res, QJsonObject{{"ok", false}, {"error", error}}, 400);
                return;
            }
            out.insert("ok", true);
            HttpUtil::sendJson(res, out);
        });
}
