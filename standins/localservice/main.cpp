// vantelor-localservice: the bundled local stand-in of the cloud services.
//
//   vantelor-localservice --deployment config/local.json [--port N] [--data DIR]
//                         [--seed FILE] [--private-key FILE] [--tolerance SECONDS]
//                         [--update-package FILE] [--update-version V] [--exit-with-parent]
//
// It binds 127.0.0.1 only. Port 0 picks a free port; without --port the port of
// the deployment's "service.baseUrl" is used. Once it listens it prints
// "listening on 127.0.0.1:<port>" on stdout. SIGINT or SIGTERM stop it.

#include "standins/localservice/localservice.h"
#include "standins/localservice/servicelog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QUrl>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Signals are taken by one waiting thread, which stops the server cleanly;
    // every thread started from here inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("vantelor-localservice");
    QCommandLineParser parser;
    parser.setApplicationDescription("Local stand-in of the Vantelor cloud services, on 127.0.0.1.");
    parser.addHelpOption();
    const QCommandLineOption deploymentOption("deployment", "Deployment file (e.g. config/local.json).",
                                              "file");
    const QCommandLineOption portOption("port", "Port on 127.0.0.1; 0 picks a free one.", "port");
    const QCommandLineOption dataOption("data", "Directory for the log, SMS codes, events and accounts.",
                                        "dir");
    const QCommandLineOption seedOption("seed", "Seed file of accounts (default: the built-in one).", "file");
    const QCommandLineOption keyOption("private-key",
                                       "PEM private key of the deployment (default: the "
                                       "built-in development key).",
                                       "file");
    const QCommandLineOption toleranceOption("tolerance", "Accepted clock difference of signed calls.",
                                             "seconds", "300");
    const QCommandLineOption updatePackageOption(
        "update-package", "Package offered by the update feed (default: a generated demo package).", "file");
    const QCommandLineOption updateVersionOption("update-version", "Version the update feed offers.",
                                                 "version", "2.4.8");
    parser.addOptions({updatePackageOption, updateVersionOption});
    const QCommandLineOption exitWithParentOption(
        "exit-with-parent", "Stop when the process that started it ends, even by a crash (tests).");
    parser.addOptions({deploymentOption, portOption, dataOption, seedOption, keyOption, toleranceOption,
                       exitWithParentOption});
    parser.process(app);

    if (parser.isSet(exitWithParentOption)) {
        // A test that aborts runs no destructors; without this its service
        // would keep running, reparented to init.
        const pid_t parent = getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            return 0;
        }
    }

    LocalService::Options options;
    options.deploymentFile = parser.value(deploymentOption);
    if (options.deploymentFile.isEmpty()) {
        std::fprintf(stderr, "vantelor-localservice: --deployment is required\n");
        return 2;
    }
    options.dataDirectory = parser.value(dataOption);
    options.seedFile = parser.value(seedOption);
    options.privateKeyFile = parser.value(keyOption);
    options.updatePackageFile = parser.value(updatePackageOption);
    options.updateVersion = parser.value(updateVersionOption);
    bool ok = true;
    options.toleranceSeconds = parser.value(toleranceOption).toInt(&ok);
    if (!ok || options.toleranceSeconds <= 0) {
        std::fprintf(stderr, "vantelor-localservice: --tolerance must be a positive number of seconds\n");
        return 2;
    }
    options.port = -1;
    if (parser.isSet(portOption)) {
        options.port = parser.value(portOption).toInt(&ok);
        if (!ok || options.port < 0 || options.port > 65535) {
            std::fprintf(stderr, "vantelor-localservice: --port must be 0 to 65535\n");
            return 2;
        }
    }

    LocalService service;
    QString error;
    if (options.port < 0) {
        // The deployment's own port, read once the file is known to be valid.
        Deployment probe;
        if (!probe.load(options.deploymentFile, error)) {
            ServiceLog::write("vantelor-localservice: " + error);
            return 1;
        }
        options.port = QUrl(probe.baseUrl).port(80);
    }
    if (!service.prepare(options, error)) {
        ServiceLog::write("vantelor-localservice: " + error);
        return 1;
    }

    std::atomic<bool> finished{false};
    std::thread signalWaiter([&service, &finished, stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        if (!finished) {
            ServiceLog::write(QString("vantelor-localservice: signal %1, stopping").arg(received));
            service.stop();
        }
    });

    ServiceLog::write(
        QString("vantelor-localservice: listening on 127.0.0.1:%1 (deployment %2, data %3)")
            .arg(service.port())
            .arg(options.deploymentFile, options.dataDirectory.isEmpty() ? "none" : options.dataDirectory));
    std::printf("listening on 127.0.0.1:%d\n", service.port());
    std::fflush(stdout);

    const bool ran = service.run();
    finished = true;
    // The waiter still blocks in sigwait when the server ended by itself.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    ServiceLog::write("vantelor-localservice: stopped");
    return ran ? 0 : 1;
}
