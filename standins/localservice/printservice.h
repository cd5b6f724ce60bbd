#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

#include <httplib.h>

#include <mutex>

class LocalService;

// The print service behind the cloud print queue: a print driver uploads a
// job (PDF) with the user's print information, whose "printToken" proves the
// account; the service stores it in its data folder and lists a user's jobs
// on the page "我的打印任务".
//
//   POST /print/online/upload   multipart: printInfo (JSON), jobKey, title,
//                               user, copies, options, file (PDF); answered
//                               by the JSON envelope ("content": jobId, pages,
//                               duplicate). One jobKey is stored once.
//   GET  /print/online/jobs?ticket=<access ticket>   the user's job list
//   GET  /__control/printjobs                        every stored job (tests)
class PrintService
{
public:
    explicit PrintService(LocalService& service);

    // The token the print information carries for an account.
    QString tokenFor(qint64 accountId) const;
    void reset(); // forgets every job

private:
    struct Job
    {
        QString id;
        qint64 accountId = 0;
        QString key;
        QString title;
        QString user;
        int copies = 1;
        int pages = 0;
        qint64 bytes = 0;
        qint64 receivedMs = 0;

        QJsonObject toJson() const;
    };

    QString upload(const httplib::Request& req, httplib::Response& res);
    QString list(const httplib::Request& req, httplib::Response& res);
    QJsonArray jobsJson() const;
    static int pageCount(const QByteArray& pdf);
    QString folder() const;
    void saveIndex() const; // with the mutex held

    LocalService& m_service;
    mutable std::mutex m_mutex;
    QVector<Job> m_jobs;
    int m_nextId = 1;
};
