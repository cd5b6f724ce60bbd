#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVector>

#include <httplib.h>

#include <mutex>

class LocalService;

// The office and mail web application the client shows on its mail page. The
// client opens "/pcweb/index" with the sign-on ticket in the query; a valid
// ticket starts a cookie session in which the user reads and writes mail and
// looks up colleagues.
class OfficePages
{
public:
    explicit OfficePages(LocalService& service);
    void reset(); // drops sessions and mail written since the start

private:
    struct Session
    {
        qint64 accountId = 0;
        qint64 companyId = 0;
    };
    struct Mail
    {
        int id = 0;
        qint64 owner = 0;
        QString folder; // "inbox" or "sent"
        QString from;
        QString to;
        QString subject;
        QString body;
        QString time;
        bool read = false;
    };

    QString handle(const httplib::Request& req, httplib::Response& res);
    QString index(const httplib::Request& req, httplib::Response& res);
    bool session(const httplib::Request& req, Session& out);
    void page(httplib::Response& res, const Session& s, const QString& title, const QString& active,
              const QString& content);
    void message(httplib::Response& res, const QString& title, const QString& text);
    QString home(const Session& s);
    QString mailList(const Session& s, const QString& folder);
    QString mailView(const Session& s, int id);
    QString compose(const QString& to, const QString& error);
    QString send(const Session& s, const httplib::Request& req, QString& error);
    QString contacts(const Session& s);
    void seedMail(qint64 accountId);
    QString address(const QJsonObject& user) const;

    LocalService& m_service;
    std::mutex m_mutex;
    QMap<QString, Session> m_sessions; // cookie value -> session
    QVector<Mail> m_mails;
    QMap<qint64, bool> m_seeded;
    int m_nextMailId = 1;
};
