#pragma once

#include <QString>

// Qt 5.15's HTTP stack leaves Nagle's algorithm on its sockets and writes a
// request's header and body in two writes. On a kept-alive connection the
// body then waits for the server's delayed acknowledgement of the header
// (40 ms on Linux servers, up to 200 ms on Windows ones) on every request
// after the first. Qt gives no way to reach those sockets, so this sets
// TCP_NODELAY on the process's own TCP sockets that are connected to the
// given peer. Returns how many sockets it changed; 0 where not supported.
int enableLowDelayTowards(const QString& host, quint16 port);
