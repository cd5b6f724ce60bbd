#include "printdriver/socketowner.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <vector>

namespace {
// The kernel prints each 32-bit word of an address as the hexadecimal of its
// in-memory value, so a word compares with the address as stored.
bool parseEndpoint(const std::string& field, bool ipv6, unsigned int& address, unsigned short& port)
{
    const auto colon = field.find(':');
    const std::size_t words = ipv6 ? 4 : 1;
    if (colon != words * 8 || field.size() <= colon + 1) {
        return false;
    }
    std::vector<unsigned int> word(words);
    for (std::size_t i = 0; i < words; ++i) {
        char* end = nullptr;
        const std::string part = field.substr(i * 8, 8);
        word[i] = static_cast<unsigned int>(std::strtoul(part.c_str(), &end, 16));
        if (*end != '\0') {
            return false;
        }
    }
    if (ipv6) {
        // ::ffff:a.b.c.d: zero, zero, then 0000FFFF in network order.
        if (word[0] != 0 || word[1] != 0 || word[2] != htonl(0x0000FFFFu)) {
            return false;
        }
    }
    address = word[words - 1];
    char* end = nullptr;
    const unsigned long p = std::strtoul(field.c_str() + colon + 1, &end, 16);
    if (*end != '\0' || p > 0xFFFF) {
        return false;
    }
    port = static_cast<unsigned short>(p);
    return true;
}

std::string readFile(const char* path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace

SocketOwner::Entry SocketOwner::find(const std::string& table, bool ipv6, unsigned int localAddress,
                                     unsigned short localPort, unsigned int remoteAddress,
                                     unsigned short remotePort)
{
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line); // the heading
    while (std::getline(lines, line)) {
        // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ...
        std::istringstream fields(line);
        std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        if (!(fields >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >>
              inode)) {
            continue;
        }
        unsigned int la = 0, ra = 0;
        unsigned short lp = 0, rp = 0;
        if (!parseEndpoint(local, ipv6, la, lp) || !parseEndpoint(remote, ipv6, ra, rp)) {
            continue;
        }
        if (la == localAddress && lp == localPort && ra == remoteAddress && rp == remotePort) {
            Entry entry;
            char* end = nullptr;
            entry.uid = std::strtoul(uid.c_str(), &end, 10);
            if (*end != '\0') {
                continue;
            }
            entry.inode = std::strtoul(inode.c_str(), &end, 10);
            entry.found = true;
            return entry;
        }
    }
    return Entry();
}

SocketOwner::Entry SocketOwner::peerOf(int fd)
{
    sockaddr_in self{};
    sockaddr_in peer{};
    socklen_t length = sizeof(self);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &length) != 0 || self.sin_family != AF_INET) {
        return Entry();
    }
    length = sizeof(peer);
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET) {
        return Entry();
    }
    // The far end's entry: its local end is our peer, its remote end is us.
    // A client listening on an IPv6 socket holds it as an IPv4-mapped address.
    const unsigned short peerPort = ntohs(peer.sin_port);
    const unsigned short selfPort = ntohs(self.sin_port);
    Entry entry = find(readFile("/proc/net/tcp"), false, peer.sin_addr.s_addr, peerPort, self.sin_addr.s_addr,
                       selfPort);
    if (!entry.found) {
        entry = find(readFile("/proc/net/tcp6"), true, peer.sin_addr.s_addr, peerPort, self.sin_addr.s_addr,
                     selfPort);
    }
    return entry;
}
