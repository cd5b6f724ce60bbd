// The projection library behind P2PDsClientSessionProxy.
//
// Receivers are reached over TCP on the port of session.ini (next to the
// library). The protocol is line based: the sender writes "P2PDS/1 PROJECT";
// the receiver answers "ACCEPT", "BUSY" or "REJECT <reason>". After ACCEPT the
// connection carries the projection until either side writes "STOP" or closes.
// Projecting by code needs discovery on the meeting-room network, which this
// build does not do yet: such attempts fail without a callback, and callers go
// through the code lookup and project to addresses.

#include "projection/p2pdsclientsession.h"
#include "receivercode.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kConnectTimeoutMs = 3000;
constexpr int kAnswerTimeoutMs = 5000;

struct LibrarySettings
{
    int firstOctet = 192;
    int receiverPort = 47310;
};

std::string libraryDirectory()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryDirectory), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        const auto slash = path.rfind('/');
        return slash == std::string::npos ? "." : path.substr(0, slash);
    }
    return ".";
}

// session.ini: "firstOctet=<n>" and "receiverPort=<n>" lines; missing keys keep
// their defaults.
LibrarySettings loadSettings()
{
    LibrarySettings settings;
    std::ifstream file(libraryDirectory() + "/session.ini");
    std::string line;
    while (std::getline(file, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "firstOctet" && value > 0 && value < 256) {
            settings.firstOctet = value;
        } else if (key == "receiverPort" && value > 0 && value < 65536) {
            settings.receiverPort = value;
        }
    }
    return settings;
}

void log(const std::string& text)
{
    std::fprintf(stderr, "session: %s\n", text.c_str());
}

int connectWithTimeout(const std::string& address, int port, int wakeFd)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &target.sin_addr) != 1) {
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof(target)) == 0) {
        return fd;
    }
    if (errno == EINPROGRESS) {
        pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, kConnectTimeoutMs) > 0 && (fds[0].revents & POLLOUT) &&
            !(fds[1].revents & POLLIN)) {
            int error = 0;
            socklen_t length = sizeof(error);
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
                return fd;
            }
        }
    }
    ::close(fd);
    return -1;
}

// Reads one line; false on timeout, wake-up, close or error.
bool readLine(int fd, int wakeFd, int timeoutMs, std::string& line)
{
    line.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int wait = timeoutMs < 0 ? -1 : static_cast<int>(std::max<long>(0, left.count()));
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, wait) <= 0 || (fds[1].revents & POLLIN)) {
            return false;
        }
        char c = 0;
        const ssize_t n = ::recv(fd, &c, 1, 0);
        if (n <= 0) {
            return false;
        }
        if (c == '\n') {
            return true;
        }
        if (line.size() < 256) {
            line += c;
        }
    }
}

void sendLine(int fd, const char* text)
{
    ::send(fd, text, std::strlen(text), MSG_NOSIGNAL);
}

} // namespace

P2PDsClientSettings::P2PDsClientSettings()
{
    std::memset(this, 0, sizeof(*this));
}

// One attempt to project: its own thread, sockets and wake-up pipe.
struct Attempt
{
    std::thread thread;
    int wake[2] = {-1, -1};
    std::atomic<bool> stopRequested{false};
};

struct P2PDsClientSessionProxy::Private
{
    IP2PDsClientSessionCb* callback = nullptr;
    LibrarySettings settings;
    std::mutex mutex;
    std::shared_ptr<Attempt> current;
    std::atomic<bool> projecting{false};

    void run(const std::shared_ptr<Attempt>& attempt, std::vector<std::string> addresses);
    int end(bool running);
};

void P2PDsClientSessionProxy::Private::run(const std::shared_ptr<Attempt>& attempt,
                                           std::vector<std::string> addresses)
{
    std::vector<int> sockets;
    auto closeAll = [&](const char* farewell) {
        for (int fd : sockets) {
            if (farewell) {
                sendLine(fd, farewell);
            }
            ::close(fd);
        }
        sockets.clear();
    };

    for (const std::string& address : addresses) {
        const int fd = connectWithTimeout(address, settings.receiverPort, attempt->wake[0]);
        if (fd < 0) {
            log("no receiver at " + address);
            closeAll(nullptr);
            if (!attempt->stopRequested) {
                callback->onNoStreamProjectionCommandResponse(0);
            }
            return;
        }
        sockets.push_back(fd);
        sendLine(fd, "P2PDS/1 PROJECT\n");
    }

    for (size_t i = 0; i < sockets.size(); ++i) {
        std::string answer;
        const bool answered = readLine(sockets[i], attempt->wake[0], kAnswerTimeoutMs, answer);
        if (attempt->stopRequested) {
            closeAll("STOP\n");
            return;
        }
        if (!answered) {
            log("no answer from " + addresses[i]);
            closeAll(nullptr);
            callback->onNoStreamProjectionCommandResponse(1);
            return;
        }
        if (answer == "BUSY") {
            log(addresses[i] + " is busy");
            closeAll(nullptr);
            callback->onBusying();
            return;
        }
        if (answer.rfind("REJECT", 0) == 0) {
            log(addresses[i] + " rejected");
            closeAll(nullptr);
            callback->onProjectionRejected(answer.size() > 7 ? std::atoi(answer.c_str() + 7) : 0);
            return;
        }
        if (answer != "ACCEPT") {
            log("unexpected answer from " + addresses[i]);
            closeAll(nullptr);
            callback->onNoStreamProjectionCommandResponse(2);
            return;
        }
    }

    projecting = true;
    log("projecting");
    callback->onProjectionSuccess();

    // Until a receiver ends it or the caller stops it.
    std::vector<pollfd> fds;
    for (int fd : sockets) {
        fds.push_back({fd, POLLIN, 0});
    }
    fds.push_back({attempt->wake[0], POLLIN, 0});
    while (::poll(fds.data(), fds.size(), -1) >= 0 || errno == EINTR) {
        if (fds.back().revents & POLLIN) {
            closeAll("STOP\n");
            projecting = false;
            return;
        }
        for (size_t i = 0; i + 1 < fds.size(); ++i) {
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                // Any line from a running receiver means it ended the projection.
                log("receiver " + addresses[i] + " ended the projection");
                closeAll("STOP\n");
                projecting = false;
                callback->onProjectionStopped();
                return;
            }
        }
    }
}

// Ends the current attempt. Called from a callback, the attempt's own thread
// only marks it: that thread is on its way out and is joined later.
int P2PDsClientSessionProxy::Private::end(bool running)
{
    std::shared_ptr<Attempt> attempt;
    {
        std::lock_guard<std::mutex> lock(mutex);
        attempt = current;
        if (attempt && attempt->thread.get_id() == std::this_thread::get_id()) {
            attempt->stopRequested = true;
            return 0;
        }
        current.reset();
    }
    if (!attempt) {
        return 0;
    }
    const bool wasProjecting = projecting.exchange(false);
    attempt->stopRequested = true;
    const char wake = 1;
    (void)!::write(attempt->wake[1], &wake, 1);
    if (attempt->thread.joinable()) {
        attempt->thread.join();
    }
    ::close(attempt->wake[0]);
    ::close(attempt->wake[1]);
    return running ? (wasProjecting ? 1 : 0) : 0;
}

P2PDsClientSessionProxy::P2PDsClientSessionProxy(IP2PDsClientSessionCb* callback)
    : d(std::make_unique<Private>())
{
    d->callback = callback;
    d->settings = loadSettings();
}

P2PDsClientSessionProxy::~P2PDsClientSessionProxy()
{
    terminate();
}

int P2PDsClientSessionProxy::init()
{
    log("init, receivers on port " + std::to_string(d->settings.receiverPort));
    return 0;
}

int P2PDsClientSessionProxy::getIpFromVerfCode(const char* code, char* ip)
{
    const long value = code ? receivercode::decode(code) : -1;
    const unsigned octets = value < 0 ? 0u : static_cast<unsigned>(value);
    std::snprintf(ip, 20, "%d.%u.%u.%u", d->settings.firstOctet, (octets >> 16) & 0xff, (octets >> 8) & 0xff,
                  octets & 0xff);
    return value < 0 ? -1 : 0;
}

int P2PDsClientSessionProxy::startProjection(const P2PDsClientSettings& settings)
{
    d->end(false);
    if (settings.kind != 1) {
        log("projection by code needs discovery, which is not available");
        return -2;
    }
    if (settings.entryCount < 1 || settings.entryCount > 2) {
        return -3;
    }
    std::vector<std::string> addresses;
    for (int i = 0; i < settings.entryCount; ++i) {
        addresses.emplace_back(settings.entries[i],
                               strnlen(settings.entries[i], sizeof(settings.entries[i])));
    }
    auto attempt = std::make_shared<Attempt>();
    if (::pipe2(attempt->wake, O_CLOEXEC) != 0) {
        return -4;
    }
    std::lock_guard<std::mutex> lock(d->mutex);
    d->current = attempt;
    attempt->thread = std::thread([this, attempt, addresses] { d->run(attempt, addresses); });
    return 0;
}

int P2PDsClientSessionProxy::cancelProjection()
{
    return d->end(false);
}

int P2PDsClientSessionProxy::stopProjection()
{
    return d->end(true);
}

int P2PDsClientSessionProxy::terminate()
{
    d->end(false);
    return 0;
}
