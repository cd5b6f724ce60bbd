#pragma once

#include "printdriver/jobupload.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdio>

// The CUPS backend "vantelor" (device vantelor://cloud): for each job it asks
// the signed-in client on 127.0.0.1:6668 for the user's print information and
// sends the job with it to the print service. What the user sees of it are
// the status lines on standard error, shown as the job's state, and the exit
// code, by which CUPS keeps, retries or ends the job.
class CupsBackend
{
public:
    // The exit codes of CUPS's backend interface (backend(7)).
    enum Exit
    {
        Ok = 0,
        Failed = 1,
        AuthRequired = 2,
        Hold = 3,
        Stop = 4,
        Cancel = 5,
        Retry = 6
    };

    static constexpr const char* kDeviceUri = "vantelor://cloud";
    static constexpr unsigned short kClientPort = 6668;

    // The reasons a user reads in the print dialog or lpstat.
    static QString notSignedIn(); // "请先启动并登录Vantelor客户端"
    static QString noPrintInfo();
    static QString serviceUnavailable();
    static QString otherUser(const QString& user);

    // vantelor.ini beside the program, written by the build from the deployment.
    struct Settings
    {
        QUrl printService;
        int connectTimeoutMs = 3000;
        // The client fetches the information twice for up to 4 s each.
        int printInfoTimeoutMs = 15000;
        int uploadTimeoutMs = 60000;
        // CUPS shows a job's reason only while its backend runs, and holds a
        // retried job for minutes: the backend itself tries again for this
        // long (every retryPauseMs) before it hands the job back for a retry.
        int waitMs = 120000;
        int retryPauseMs = 3000;

        static Settings load(const QString& file);
    };

    // arguments as CUPS passes them (argv[0] is the device URI);
    // returns the exit code.
    static int run(const QStringList& arguments, const Settings& settings, FILE* status);

    // Where the program's settings are: vantelor.ini in the directory of the
    // running executable.
    static QString settingsFile();

private:
    // One attempt at a job: Ok, Retry or Failed, with its reason written.
    static int attempt(JobUpload::Job& job, const Settings& settings, FILE* status);
};
