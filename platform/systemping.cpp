#include "platform/systemping.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
QString& configuredProgram()
{
    static QString program;
    return program;
}

// How often a running ping is checked for cancellation.
constexpr int kPollMs = 50;

QString& configuredHost()
{
    static QString host;
    return host;
}
} // namespace

QString CSystemPing::program()
{
    const QString& program = configuredProgram();
    if (program.contains('/') || !QCoreApplication::instance()) {
        return program;
    }
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(program);
    return QFileInfo(beside).isExecutable() ? beside : program;
}

void CSystemPing::setProgram(const QString& program)
{
    configuredProgram() = program;
}

QString CSystemPing::host()
{
    return configuredHost();
}

void CSystemPing::setHost(const QString& host)
{
    configuredHost() = host;
}

QStringList CSystemPing::arguments(int count, int replyTimeoutMs, const QString& host)
{
    // iputils: -c requests, -W seconds to wait for each reply (fractions allowed).
    return {"-c", QString::number(count), "-W", QString::number(replyTimeoutMs / 1000.0), host};
}

int CSystemPing::run(const QString& program, const QStringList& args, int timeoutMs,
                     const std::function<bool()>& cancelled)
{
    // posix_spawn, not QProcess: QProcess forks, copying the page tables of
    // the whole client (web engine included) for every ping, every cycle of
    // the network watcher; posix_spawn starts the program without that copy.
    const QByteArray file = QFile::encodeName(program);
    QList<QByteArray> words{file};
    for (const QString& arg : args) {
        words << arg.toLocal8Bit();
    }
    std::vector<char*> argv;
    for (QByteArray& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, file.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }

    // Woken by the ping's end (a pidfd), at the latest every kPollMs to look
    // at the cancellation.
    const int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
    QElapsedTimer elapsed;
    elapsed.start();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            break;
        }
        if ((cancelled && cancelled()) || (timeoutMs >= 0 && elapsed.elapsed() >= timeoutMs)) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (pidfd >= 0) {
                close(pidfd);
            }
            return -1;
        }
        if (pidfd >= 0) {
            pollfd ended{pidfd, POLLIN, 0};
            poll(&ended, 1, kPollMs);
        } else {
            usleep(kPollMs * 1000);
        }
    }
    if (pidfd >= 0) {
        close(pidfd);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
