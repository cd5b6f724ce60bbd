// vantelor: the CUPS backend of the Vantelor cloud print queue.
//
//   vantelor                                         device discovery
//   vantelor job-id user title copies options [file]  print one job (PDF)
//
// Status lines go to standard error, the exit code is CUPS's (backend(7)).

#include "printdriver/cupsbackend.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return CupsBackend::run(arguments, CupsBackend::Settings::load(CupsBackend::settingsFile()), stderr);
}
