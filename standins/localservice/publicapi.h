#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <httplib.h>

#include <mutex>

class LocalService;

// The unsigned services around the account service: online print information,
// IP location and weather, the analytics collector, the users' photos, the
// web site and the driver download.
class PublicApi
{
public:
    explicit PublicApi(LocalService& service);

    QJsonArray events() const; // analytics events received, oldest first
    void clearEvents();

private:
    QString printInfo(const httplib::Request& req, httplib::Response& res);
    QString ipLocate(const httplib::Request& req, httplib::Response& res);
    QString weather(const httplib::Request& req, httplib::Response& res);
    QString analytics(const httplib::Request& req, httplib::Response& res);
    QString avatar(const httplib::Request& req, httplib::Response& res);
    QJsonObject forecastDay(const QString& city, const QDate& date) const;

    LocalService& m_service;
    mutable std::mutex m_mutex;
    QJsonArray m_events;
};
