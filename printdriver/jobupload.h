#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// One print job sent to the print service: a multipart POST of the job's PDF
// with the print information the client gave (whose token authenticates it).
class JobUpload
{
public:
    static constexpr const char* kPath = "/print/online/upload";

    struct Job
    {
        QByteArray printInfo; // the JSON text as the client sent it
        QString key;          // the same for every attempt of one job: the service stores it once
        QString title;
        QString user;
        int copies = 1;
        QString options;
        QByteArray pdf;
    };

    enum class Outcome
    {
        Stored,
        Refused,
        Unavailable
    };

    // Waits at most timeoutMs for the answer; message is the service's own
    // text when it refused, else a description for the log.
    static Outcome send(const QUrl& origin, const Job& job, int timeoutMs, QString& message);
};
