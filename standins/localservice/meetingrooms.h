#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>

class LocalService;

// Meeting rooms: the receivers that registered with the service, each under
// a 4-character share code, with its address, port and room name. Receivers
// renew their record while they run; one that is not renewed within the
// lifetime is gone. The calls authenticate with the deployment's conference
// app credentials (headers "X-Conference-App-Id" and "X-Conference-App-Key").
class MeetingRooms
{
public:
    explicit MeetingRooms(LocalService& service);

    void reset();

    // The request parsing of the room calls. A registration needs a name of 1
    // to 64 characters (trimmed), an IPv4 address and a port; false otherwise.
    // A renewal names the room's code, which is matched upper-case.
    static bool readRegistration(const QByteArray& body, QString& name, QString& address, int& port);
    static QString readCode(const QByteArray& body);

private:
    using Clock = std::chrono::steady_clock;
    struct Room
    {
        QString code;
        QString name;
        QString address;
        int port = 0;
        Clock::time_point expires;
    };

    // False (answer and outcome written) when the credentials are missing or wrong.
    bool authorized(const httplib::Request& req, httplib::Response& res, QString& outcome) const;
    QString registerRoom(const httplib::Request& req, httplib::Response& res);
    QString renew(const httplib::Request& req, httplib::Response& res);
    QString list(const httplib::Request& req, httplib::Response& res);
    QString lookup(const httplib::Request& req, httplib::Response& res);
    // Drops the rooms whose lifetime ran out; the caller holds the mutex.
    void expire();
    QString freeCode() const;
    QJsonObject describe(const Room& room) const;
    QJsonArray rooms();

    LocalService& m_service;
    mutable std::mutex m_mutex;
    QMap<QString, Room> m_rooms; // by code
    std::atomic<int> m_lifetimeMs{kDefaultLifetimeMs};

    static constexpr int kDefaultLifetimeMs = 30000;
};
