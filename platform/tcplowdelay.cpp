#include "platform/tcplowdelay.h"

#include <QHostAddress>

#ifdef Q_OS_LINUX
#include <QDir>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {
bool peerMatches(int fd, const QHostAddress& host, quint16 port)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        return false;
    }
    QHostAddress address;
    quint16 peerPort = 0;
    if (peer.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
        address.setAddress(reinterpret_cast<const sockaddr*>(v4));
        peerPort = ntohs(v4->sin_port);
    } else if (peer.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
        address.setAddress(reinterpret_cast<const sockaddr*>(v6));
        peerPort = ntohs(v6->sin6_port);
    } else {
        return false;
    }
    // A host name is not resolved again here: the port alone then decides,
    // and the option is harmless on any other connection it may catch.
    return peerPort == port && (host.isNull() || host.isEqual(address, QHostAddress::TolerantConversion));
}
} // namespace

int enableLowDelayTowards(const QString& host, quint16 port)
{
    const QHostAddress literal(host);
    int changed = 0;
    const QStringList descriptors =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System);
    for (const QString& name : descriptors) {
        bool isNumber = false;
        const int fd = name.toInt(&isNumber);
        if (!isNumber || !peerMatches(fd, literal, port)) {
            continue;
        }
        int on = 0;
        socklen_t size = sizeof on;
        if (getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &size) != 0 || on) {
            continue;
        }
        on = 1;
        if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0) {
            ++changed;
        }
    }
    return changed;
}
#else
int enableLowDelayTowards(const QString&, quint16)
{
    return 0;
}
#endif
