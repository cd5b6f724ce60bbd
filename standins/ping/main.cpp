// vantelor-ping: a loopback-only stand-in for the system ping.
//
// It takes the Linux (iputils) ping syntax. Addresses in 127.0.0.0/8 (and the
// name "localhost") are answered with a real datagram over the loopback
// interface; every other address, and every host name, is refused before any
// socket exists, so nothing ever leaves the machine. Replies come at once
// (there is no one-second spacing unless -i asks for one); tests script delays
// and failures through the file named by VANTELOR_PING_SCRIPT (see pingscript.h).
//
// Exit codes follow iputils: 0 when a reply arrived, 1 when none did, 2 on
// errors (bad arguments, refused address, loopback unreachable).

#include "standins/ping/pingscript.h"

#include <QElapsedTimer>
#include <QStringList>

#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {
volatile sig_atomic_t g_interrupted = 0;

void onSignal(int)
{
    g_interrupted = 1;
}

// Sleeps in short slices so that SIGINT/SIGTERM end the run promptly, as with
// a real ping.
void sleepMs(qint64 ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!g_interrupted && timer.elapsed() < ms) {
        const qint64 slice = qMin<qint64>(20, ms - timer.elapsed());
        if (slice <= 0) {
            break;
        }
        timespec ts{time_t(slice / 1000), long((slice % 1000) * 1000000)};
        nanosleep(&ts, nullptr);
    }
}

struct Options
{
    long count = -1;        // -c; -1 runs until the deadline or a signal
    double intervalS = -1;  // -i; unset: no spacing with -c, one second without
    double replyWaitS = 10; // -W
    double deadlineS = -1;  // -w
    bool quiet = false;     // -q
    QString host;
};

[[noreturn]] void usageError(const QString& text)
{
    std::fprintf(stderr, "vantelor-ping: %s\n", qPrintable(text));
    std::fprintf(stderr,
                 "usage: vantelor-ping [-c count] [-i interval] [-W timeout] [-w deadline] [-q] host\n");
    std::exit(2);
}

double parseSeconds(const QString& option, const QString& value)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || v < 0 || !std::isfinite(v)) {
        usageError(QString("invalid argument for %1: '%2'").arg(option, value));
    }
    return v;
}

Options parseOptions(const QStringList& args)
{
    // Options that take a value, and flags that are accepted and ignored
    // because they do not change whether a loopback address answers.
    static const QString withValue = "ciWwstlIpQM";
    static const QString flags = "nq4vODaAbBdfLrRU";
    Options o;
    bool endOfOptions = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (endOfOptions || !arg.startsWith('-') || arg.size() < 2) {
            if (!o.host.isEmpty()) {
                usageError(QString("unexpected argument '%1'").arg(arg));
            }
            o.host = arg;
            continue;
        }
        if (arg == "--") {
            endOfOptions = true;
            continue;
        }
        for (int k = 1; k < arg.size(); ++k) {
            const QChar letter = arg.at(k);
            if (flags.contains(letter)) {
                if (letter == 'q') {
                    o.quiet = true;
                }
                continue;
            }
            if (!withValue.contains(letter)) {
                usageError(QString("invalid option -- '%1'").arg(letter));
            }
            QString value = arg.mid(k + 1);
            if (value.isEmpty()) {
                if (i + 1 >= args.size()) {
                    usageError(QString("option requires an argument -- '%1'").arg(letter));
                }
                value = args.at(++i);
            }
            const QString option = QString("-") + letter;
            if (letter == 'c') {
                bool ok = false;
                o.count = value.toLong(&ok);
                if (!ok || o.count <= 0) {
                    usageError(QString("invalid argument for -c: '%1'").arg(value));
                }
            } else if (letter == 'i') {
                o.intervalS = parseSeconds(option, value);
            } else if (letter == 'W') {
                o.replyWaitS = parseSeconds(option, value);
            } else if (letter == 'w') {
                o.deadlineS = parseSeconds(option, value);
            }
            break; // the rest of this argument was the value
        }
    }
    if (o.host.isEmpty()) {
        usageError("no host given");
    }
    if (o.intervalS < 0) {
        o.intervalS = o.count > 0 ? 0 : 1;
    }
    return o;
}

// True for the loopback block only. Host names are never looked up: a lookup
// could itself send packets to a name server.
bool loopbackAddress(const QString& host, in_addr& out)
{
    if (host == "localhost") {
        out.s_addr = htonl(INADDR_LOOPBACK);
        return true;
    }
    if (inet_pton(AF_INET, host.toLatin1().constData(), &out) != 1) {
        return false;
    }
    return (ntohl(out.s_addr) >> 24) == 127;
}

// One real echo over the loopback interface: a datagram sent to a socket
// bound on the target address. Fails like a real ping when loopback is down
// (for example in a process without a network namespace of its own set up).
bool loopbackEcho(const in_addr& target, QString& error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr = target;
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
              ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    const char payload[] = "vantelor-ping";
    ok = ok && ::sendto(fd, payload, sizeof(payload), 0, reinterpret_cast<sockaddr*>(&addr), len) ==
                   ssize_t(sizeof(payload));
    if (ok) {
        pollfd p{fd, POLLIN, 0};
        char buffer[64];
        ok = ::poll(&p, 1, 1000) == 1 && ::recv(fd, buffer, sizeof(buffer), 0) == ssize_t(sizeof(payload));
    }
    if (!ok) {
        error = QString::fromLocal8Bit(std::strerror(errno ? errno : ENETUNREACH));
    }
    ::close(fd);
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const Options o = parseOptions(args);

    in_addr target{};
    if (!loopbackAddress(o.host, target)) {
        std::fprintf(stderr,
                     "vantelor-ping: refusing %s: only loopback addresses (127.0.0.0/8) are answered; "
                     "nothing was sent\n",
                     qPrintable(o.host));
        PingScript::logRun(args, o.host, 2, "refused");
        return 2;
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &target, text, sizeof(text));
    const PingScript::Step step = PingScript::stepFor(QString::fromLatin1(text));

    QElapsedTimer clock;
    clock.start();
    const qint64 deadlineMs = o.deadlineS >= 0 ? qint64(o.deadlineS * 1000) : -1;
    const qint64 replyWaitMs = qint64(o.replyWaitS * 1000);
    auto remaining = [&](qint64 wanted) {
        return deadlineMs < 0 ? wanted : qMax<qint64>(0, qMin(wanted, deadlineMs - clock.elapsed()));
    };

    std::printf("PING %s (%s) 56(84) bytes of data.\n", qPrintable(o.host), text);
    std::fflush(stdout);
    long sent = 0;
    long received = 0;
    QString failure;
    if (step.result == PingScript::Result::Fail) {
        sleepMs(remaining(step.delayMs));
    }
    while (!g_interrupted && (o.count < 0 || sent < o.count) &&
           (deadlineMs < 0 || clock.elapsed() < deadlineMs)) {
        if (sent > 0) {
            sleepMs(remaining(qint64(o.intervalS * 1000)));
            if (g_interrupted || (deadlineMs >= 0 && clock.elapsed() >= deadlineMs)) {
                break;
            }
        }
        ++sent;
        if (step.result == PingScript::Result::Fail) {
            if (!o.quiet) {
                std::printf("From %s icmp_seq=%ld Destination Host Unreachable\n", text, sent);
            }
        } else if (step.result == PingScript::Result::Timeout || step.delayMs > replyWaitMs) {
            sleepMs(remaining(replyWaitMs));
        } else {
            sleepMs(remaining(step.delayMs));
            if (deadlineMs >= 0 && clock.elapsed() >= deadlineMs) {
                break;
            }
            QElapsedTimer rtt;
            rtt.start();
            if (!loopbackEcho(target, failure)) {
                std::fprintf(stderr, "vantelor-ping: connect: %s\n", qPrintable(failure));
                PingScript::logRun(args, o.host, 2, "loopback unreachable: " + failure);
                return 2;
            }
            ++received;
            if (!o.quiet) {
                std::printf("64 bytes from %s: icmp_seq=%ld ttl=64 time=%.3f ms\n", text, sent,
                            step.delayMs + rtt.nsecsElapsed() / 1e6);
            }
        }
        std::fflush(stdout);
    }
    const long lossPercent = sent > 0 ? (sent - received) * 100 / sent : 0;
    std::printf("\n--- %s ping statistics ---\n%ld packets transmitted, %ld received, %ld%% packet loss, "
                "time %lldms\n",
                qPrintable(o.host), sent, received, lossPercent, static_cast<long long>(clock.elapsed()));
    std::fflush(stdout);

    g_interrupted = 0;
    sleepMs(step.hangMs);

    int exitCode = received > 0 ? 0 : 1;
    if (deadlineMs >= 0 && o.count > 0 && received < o.count) {
        exitCode = 1;
    }
    PingScript::logRun(args, o.host, exitCode, QString("%1 sent, %2 received").arg(sent).arg(received));
    return exitCode;
}
