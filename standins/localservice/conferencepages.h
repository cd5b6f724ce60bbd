#pragma once

#include <QString>

#include <httplib.h>

class LocalService;

// The conference web application the client shows on its conference page:
// "/client/index.htm" (optionally with "?SSO_TICKET=...") and its script and
// style sheet. The page talks to the client only through the web channel
// object "MeetingCallback".
class ConferencePages
{
public:
    explicit ConferencePages(LocalService& service);

private:
    QString index(const httplib::Request& req, httplib::Response& res);

    LocalService& m_service;
};
