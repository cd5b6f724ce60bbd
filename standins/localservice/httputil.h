#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <httplib.h>

// Small helpers shared by the service's handlers.
class HttpUtil
{
public:
    // "http://<Host header>", so that links and photo addresses work on
    // whatever port the service was given.
    static QString origin(const httplib::Request& req);
    // One query item of the request target, fully percent-decoded.
    static QString query(const httplib::Request& req, const QString& key);
    static QByteArray body(const httplib::Request& req);
    // Header names lower-cased; a repeated header keeps its last value.
    static QJsonObject headers(const httplib::Request& req);
    static QByteArray header(const httplib::Request& req, const char* name);

    static void send(httplib::Response& res, const QByteArray& body, const char* contentType,
                     int status = 200);
    static void sendJson(httplib::Response& res, const QByteArray& json, int status = 200);
    static void sendJson(httplib::Response& res, const QJsonObject& json, int status = 200);

    static QString htmlEscape(const QString& text);
    static std::string routePattern(const QString& path); // a literal path as an httplib pattern
};
