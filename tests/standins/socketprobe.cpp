// Preloaded into a program under test (LD_PRELOAD): every socket(),
// connect(), sendto() and sendmsg() call is appended, by name, to the file
// named by VANTELOR_SOCKET_PROBE before the real call runs. An empty file after
// a run proves the program opened no socket and sent nothing.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
void note(const char* call)
{
    const char* path = getenv("VANTELOR_SOCKET_PROBE");
    if (!path) {
        return;
    }
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ssize_t ignored = write(fd, call, strlen(call));
        ignored = write(fd, "\n", 1);
        (void)ignored;
        close(fd);
    }
}

template <typename F> F real(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
} // namespace

extern "C" {
int socket(int domain, int type, int protocol)
{
    note("socket");
    return real<int (*)(int, int, int)>("socket")(domain, type, protocol);
}

int connect(int fd, const struct sockaddr* addr, socklen_t len)
{
    note("connect");
    return real<int (*)(int, const struct sockaddr*, socklen_t)>("connect")(fd, addr, len);
}

ssize_t sendto(int fd, const void* buf, size_t n, int flags, const struct sockaddr* addr, socklen_t len)
{
    note("sendto");
    return real<ssize_t (*)(int, const void*, size_t, int, const struct sockaddr*, socklen_t)>("sendto")(
        fd, buf, n, flags, addr, len);
}

ssize_t sendmsg(int fd, const struct msghdr* msg, int flags)
{
    note("sendmsg");
    return real<ssize_t (*)(int, const struct msghdr*, int)>("sendmsg")(fd, msg, flags);
}
}
