#pragma once

#include <QJsonArray>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class LocalServiceProcess;

// The CUPS backend as the tests run it: a copy of the built backend with a
// vantelor.ini of the test's own (its local service, short time limits),
// PDF fixtures, and the jobs the service stored.
namespace PrintFixture {
// Copies the backend into dir with a vantelor.ini for service (short time
// limits, no waiting of its own, unless settings say otherwise); the backend's path.
QString installBackend(const QString& dir, const LocalServiceProcess& service,
                       const QMap<QString, int>& settings = QMap<QString, int>());
// A PDF of pages pages, each with its number, written to path.
bool writePdf(const QString& path, int pages);
// The demo account's print information, fetched from the service as the client does.
QByteArray printInfoOf(LocalServiceProcess& service);
// The jobs the service stored, oldest first.
QJsonArray storedJobs(LocalServiceProcess& service);

struct Run
{
    int exitCode = -1;
    QString status;                               // standard error: the status lines
    QStringList lines(const QString& kind) const; // the texts of the "<kind>: " lines
};
// Runs the backend as CUPS runs a job: arguments job-id user title copies
// options, the PDF on standard input, CUPS's environment; the event loop
// turns meanwhile (the client under test answers in this process).
Run runJob(const QString& backend, const QString& jobId, const QString& user, const QByteArray& pdf,
           int timeoutMs = 60000);
} // namespace PrintFixture
