#pragma once

#include <string>

// Who holds the other end of a TCP connection on this machine, from the
// kernel's socket table (/proc/net/tcp and /proc/net/tcp6): port 6668 is one
// port for every user, so the driver must know whose client answered.
class SocketOwner
{
public:
    struct Entry
    {
        bool found = false;
        unsigned long uid = 0;
        unsigned long inode = 0; // 0 while the client has not accepted the connection yet
    };

    // The socket at the far end of the connected socket fd.
    static Entry peerOf(int fd);

    // In the text of a socket table (tcp, or tcp6 when ipv6): the socket whose
    // local end is localAddress:localPort and remote end remoteAddress:remotePort.
    // Addresses are IPv4 in network byte order; in tcp6 they match as
    // IPv4-mapped addresses.
    static Entry find(const std::string& table, bool ipv6, unsigned int localAddress,
                      unsigned short localPort, unsigned int remoteAddress, unsigned short remotePort);
};
