#pragma once

#include <QJsonObject>

#include <httplib.h>

class LocalService;

// The unsigned test controls under "/__control/" (see README): faults, the
// request journal, SMS codes, analytics events, accounts, sessions, the
// service clock and a reset. Answers are JSON with "ok".
class ControlApi
{
public:
    explicit ControlApi(LocalService& service);

private:
    using Action =
        std::function<QJsonObject(const QJsonObject& in, const httplib::Request& req, QString& error)>;
    void add(const char* method, const char* path, const Action& action);

    LocalService& m_service;
};
