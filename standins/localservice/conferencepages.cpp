#include "standins/localservice/conferencepages.h"

#include "standins/localservice/accountstore.h"
#include "standins/localservice/httputil.h"
#include "standins/localservice/localservice.h"

#include <QJsonDocument>
#include <QJsonObject>

ConferencePages::ConferencePages(LocalService& service) : m_service(service)
{
    service.route("GET", "/client/index.htm", "conferencePage",
                  [this](const httplib::Request& q, httplib::Response& r, qint64) { return index(q, r); });
    service.routePlain("GET", "/client/meeting.js", [](const httplib::Request&, httplib::Response& r) {
        HttpUtil::send(r, LocalService::resource("web/client/meeting.js"), "text/javascript; charset=utf-8");
    });
    service.routePlain("GET", "/client/meeting.css", [](const httplib::Request&, httplib::Response& r) {
        HttpUtil::send(r, LocalService::resource("web/client/meeting.css"), "text/css; charset=utf-8");
    });
}

QString ConferencePages::index(const httplib::Request& req, httplib::Response& res)
{
    const QString ticket = HttpUtil::query(req, "SSO_TICKET");
    QJsonObject user;
    if (!ticket.isEmpty()) {
        user = m_service.accounts().userForTicket(ticket);
    }
    // The signed-in user (or null) goes into the page itself, so the page
    // knows it before the web channel is up.
    QByteArray userJson =
        user.isEmpty() ? QByteArray("null") : QJsonDocument(user).toJson(QJsonDocument::Compact);
    userJson.replace("<", "\\u003c");
    QByteArray html = LocalService::resource("web/client/index.htm");
    html.replace("/*VANTELOR_USER*/null", userJson);
    html.replace("/*TICKET_STATE*/\"none\"", ticket.isEmpty() ? QByteArray("\"none\"")
                                             : user.isEmpty() ? QByteArray("\"invalid\"")
                                                              : QByteArray("\"valid\""));
    HttpUtil::send(res, html, "text/html; charset=utf-8");
    res.set_header("Cache-Control", "no-store");
    if (!ticket.isEmpty() && user.isEmpty()) {
        return "accepted (unknown ticket: shown as guest)";
    }
    return "accepted";
}
