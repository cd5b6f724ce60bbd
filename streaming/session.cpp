// The projection library behind P2PDsClientSessionProxy.
//
// Receivers are reached over TCP on the port of session.ini (next to the
// library). The sender writes "P2PDS/1 PROJECT"; the receiver answers
// "ACCEPT", "BUSY" or "REJECT <reason>". After ACCEPT the same connection
// carries stream frames both ways (see streamframe.h): the H.264 access units
// of the screen, pings that keep it alive, key-frame requests and STOP.
// A projection captures and encodes the screen once and sends the same units
// to each of its receivers. Codes (kind 0) name the receiver's last three
// octets; the first one comes from session.ini.
//
// Each attempt runs on a thread of its own; every callback comes from that
// thread and none while the library's mutex is held.

#include "projection/p2pdsclientsession.h"
#include "streaming/capturebackend.h"
#include "streaming/controlline.h"
#include "streaming/framereader.h"
#include "streaming/receivercode.h"
#include "streaming/screensender.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectTimeoutMs = 3000;
constexpr int kAnswerTimeoutMs = 5000;
constexpr int kFirstPictureTimeoutMs = 3000;
// A receiver that lets this much pile up is too slow: frames are skipped for
// it until it has caught up, then it restarts from a key frame.
constexpr std::size_t kMaxPendingBytes = 4u << 20;

struct LibrarySettings
{
    int firstOctet = 192;
    int receiverPort = 47310;
    int bitrateKbps = 8000;
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

// session.ini: "firstOctet=<n>", "receiverPort=<n>" and "bitrateKbps=<n>"
// lines; missing keys keep their defaults.
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
        } else if (key == "bitrateKbps" && value >= 500 && value <= 100000) {
            settings.bitrateKbps = value;
        }
    }
    return settings;
}

void log(const std::string& text)
{
    std::fprintf(stderr, "session: %s\n", text.c_str());
}

int msSince(Clock::time_point then)
{
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - then).count());
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
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
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

// Reads one line a byte at a time, so nothing after it is taken; false on
// time-out, wake-up, close, error or a line too long to be a control line.
bool readLine(int fd, int wakeFd, int timeoutMs, std::string& line)
{
    line.clear();
    const auto start = Clock::now();
    while (true) {
        const int wait = std::max(0, timeoutMs - msSince(start));
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, wait) <= 0 || (fds[1].revents & POLLIN)) {
            return false;
        }
        char c = 0;
        const ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        if (c == '\n') {
            return true;
        }
        if (line.size() + 1 >= ControlLine::kMaxLength) {
            return false;
        }
        line += c;
    }
}

// Best effort for the few bytes of a farewell on a socket about to close.
void sendNow(int fd, const std::string& bytes)
{
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// One receiver of a running projection.
struct Peer
{
    std::string address;
    int fd = -1;
    std::string outgoing; // bytes not yet taken by the socket
    FrameReader reader;
    Clock::time_point lastHeard = Clock::now();
    Clock::time_point lastSent = Clock::now();
    bool needsKeyFrame = true;

    void queue(const std::string& bytes)
    {
        outgoing += bytes;
        lastSent = Clock::now();
    }
    // False when the connection broke.
    bool flush()
    {
        while (!outgoing.empty()) {
            const ssize_t n = ::send(fd, outgoing.data(), outgoing.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) {
                return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            }
            outgoing.erase(0, static_cast<std::size_t>(n));
        }
        return true;
    }
};

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

// Where an attempt goes: the receivers, their port, and for a share to a
// meeting room the take-over request with the sharer's name.
struct Target
{
    std::vector<std::string> addresses;
    int port = 0;
    bool share = false;
    std::string name;
};

struct P2PDsClientSessionProxy::Private
{
    IP2PDsClientSessionCb* callback = nullptr;
    LibrarySettings settings;
    std::mutex mutex;
    std::shared_ptr<Attempt> current;
    std::atomic<bool> projecting{false};
    std::atomic<int> stopReason{StoppedByCaller};

    void run(const std::shared_ptr<Attempt>& attempt, const Target& target);
    int launch(const Target& target);
    // How a running projection ended: true when the receivers or the capture
    // ended it, false when the caller stopped it.
    bool stream(const std::shared_ptr<Attempt>& attempt, ScreenSender& sender, std::vector<Peer>& peers);
    int end(bool running);
};

void P2PDsClientSessionProxy::Private::run(const std::shared_ptr<Attempt>& attempt, const Target& target)
{
    const CaptureBackend backend = CaptureBackend::detect([](const char* name) { return std::getenv(name); });
    ScreenSender sender;
    std::string problem;
    if (backend.kind != CaptureBackend::X11) {
        log("cannot project: " + backend.problem);
        callback->onNoStreamProjectionCommandResponse(3);
        return;
    }
    if (!sender.start(backend.display, settings.bitrateKbps, problem)) {
        log("cannot project: " + problem);
        callback->onNoStreamProjectionCommandResponse(3);
        return;
    }

    std::vector<Peer> peers;
    auto closeAll = [&](bool farewell) {
        for (Peer& peer : peers) {
            if (farewell) {
                sendNow(peer.fd, StreamFrame::empty(StreamFrame::Stop));
            }
            ::close(peer.fd);
        }
        peers.clear();
    };

    for (const std::string& address : target.addresses) {
        const int fd = connectWithTimeout(address, target.port, attempt->wake[0]);
        if (fd < 0) {
            closeAll(true);
            if (!attempt->stopRequested) {
                log("no receiver at " + address);
                callback->onNoStreamProjectionCommandResponse(0);
            }
            return;
        }
        Peer peer;
        peer.address = address;
        peer.fd = fd;
        peers.push_back(std::move(peer));
        sendNow(fd,
                target.share ? ControlLine::shareText(target.name) : ControlLine::text(ControlLine::Project));
    }

    for (Peer& peer : peers) {
        std::string line;
        const bool answered = readLine(peer.fd, attempt->wake[0], kAnswerTimeoutMs, line);
        if (attempt->stopRequested) {
            closeAll(true);
            return;
        }
        const ControlLine answer = ControlLine::parse(line);
        const std::string address = peer.address;
        if (!answered) {
            log("no answer from " + address);
            closeAll(true);
            callback->onNoStreamProjectionCommandResponse(1);
            return;
        }
        if (answer.kind == ControlLine::Busy) {
            log(address + " is busy");
            closeAll(true);
            callback->onBusying();
            return;
        }
        if (answer.kind == ControlLine::Reject) {
            log(address + " rejected");
            closeAll(true);
            callback->onProjectionRejected(answer.reason);
            return;
        }
        if (answer.kind != ControlLine::Accept) {
            log("unexpected answer from " + address);
            closeAll(true);
            callback->onNoStreamProjectionCommandResponse(2);
            return;
        }
        peer.lastHeard = Clock::now();
    }

    // Success only once the screen really flows: no black frames, no empty stream.
    sender.requestKeyFrame();
    ScreenSender::Unit unit;
    const auto waitStart = Clock::now();
    bool pictured = false;
    while (!attempt->stopRequested && msSince(waitStart) < kFirstPictureTimeoutMs) {
        if (sender.pull(unit, 50) && unit.keyFrame) {
            pictured = true;
            break;
        }
        if (sender.failed(problem)) {
            break;
        }
    }
    if (attempt->stopRequested) {
        closeAll(true);
        return;
    }
    if (!pictured) {
        if (problem.empty()) {
            problem = "no picture from the screen capture";
        }
        log("cannot project: " + problem);
        closeAll(true);
        callback->onNoStreamProjectionCommandResponse(3);
        return;
    }
    for (Peer& peer : peers) {
        peer.queue(StreamFrame::header(StreamFrame::Video, StreamFrame::KeyFrame,
                                       static_cast<uint32_t>(unit.data.size())) +
                   unit.data);
        peer.needsKeyFrame = false;
        peer.flush();
    }

    stopReason = StoppedByCaller;
    projecting = true;
    log("projecting");
    callback->onProjectionSuccess();
    const bool endedByOthers = stream(attempt, sender, peers);
    closeAll(true);
    projecting = false;
    if (endedByOthers) {
        callback->onProjectionStopped();
    }
}

bool P2PDsClientSessionProxy::Private::stream(const std::shared_ptr<Attempt>& attempt, ScreenSender& sender,
                                              std::vector<Peer>& peers)
{
    ScreenSender::Unit unit;
    std::string problem;
    std::vector<pollfd> fds;
    char buffer[4096];
    // Unless the receiver says otherwise, an end from its side is a lost connection.
    stopReason = ReceiverLost;
    while (!attempt->stopRequested) {
        // The encoder paces the loop; the sockets are looked at after every unit
        // and at least every 20 ms.
        if (sender.pull(unit, 20)) {
            const std::string header =
                StreamFrame::header(StreamFrame::Video, unit.keyFrame ? StreamFrame::KeyFrame : 0,
                                    static_cast<uint32_t>(unit.data.size()));
            bool wantKeyFrame = false;
            for (Peer& peer : peers) {
                if (peer.outgoing.size() > kMaxPendingBytes) {
                    peer.needsKeyFrame = true;
                    continue;
                }
                if (peer.needsKeyFrame && !unit.keyFrame) {
                    wantKeyFrame = true;
                    continue;
                }
                peer.needsKeyFrame = false;
                peer.queue(header);
                peer.queue(unit.data);
            }
            if (wantKeyFrame) {
                sender.requestKeyFrame();
            }
        } else if (sender.failed(problem)) {
            log("projection ends: " + problem);
            stopReason = CaptureFailed;
            return true;
        }

        fds.clear();
        for (Peer& peer : peers) {
            if (peer.outgoing.empty() && msSince(peer.lastSent) >= StreamFrame::kPingIntervalMs) {
                peer.queue(StreamFrame::empty(StreamFrame::Ping));
            }
            fds.push_back({peer.fd, static_cast<short>(POLLIN | (peer.outgoing.empty() ? 0 : POLLOUT)), 0});
        }
        fds.push_back({attempt->wake[0], POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 0) < 0 && errno != EINTR) {
            return true;
        }
        if (fds.back().revents & POLLIN) {
            stopReason = StoppedByCaller;
            return false;
        }
        for (std::size_t i = 0; i < peers.size(); ++i) {
            Peer& peer = peers[i];
            if (fds[i].revents & POLLOUT) {
                if (!peer.flush()) {
                    log("receiver " + peer.address + " is gone");
                    return true;
                }
            }
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(peer.fd, buffer, sizeof(buffer), MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    log("receiver " + peer.address + " closed the connection");
                    return true;
                }
                if (n > 0) {
                    peer.lastHeard = Clock::now();
                    peer.reader.feed(buffer, static_cast<std::size_t>(n));
                    StreamFrame frame;
                    FrameReader::Result result;
                    while ((result = peer.reader.next(frame)) == FrameReader::Frame) {
                        if (frame.type == StreamFrame::Stop) {
                            log("receiver " + peer.address + " ended the projection");
                            stopReason = EndedByReceiver;
                            return true;
                        }
                        if (frame.type == StreamFrame::Replaced) {
                            log("receiver " + peer.address + " was taken over by another sender");
                            stopReason = TakenOver;
                            return true;
                        }
                        if (frame.type == StreamFrame::KeyFrameRequest) {
                            sender.requestKeyFrame();
                        }
                    }
                    if (result == FrameReader::Error) {
                        log("bad data from receiver " + peer.address + ": " + peer.reader.error());
                        return true;
                    }
                }
            }
            if (msSince(peer.lastHeard) > StreamFrame::kSilenceLimitMs) {
                log("receiver " + peer.address + " fell silent");
                return true;
            }
        }
    }
    stopReason = StoppedByCaller;
    return false;
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
    if (settings.kind > 1) {
        return -2;
    }
    if (settings.entryCount < 1 || settings.entryCount > 2) {
        return -3;
    }
    Target target;
    target.port = d->settings.receiverPort;
    std::vector<std::string>& addresses = target.addresses;
    for (int i = 0; i < settings.entryCount; ++i) {
        const std::string entry(settings.entries[i],
                                strnlen(settings.entries[i], sizeof(settings.entries[i])));
        if (settings.kind == 1) {
            addresses.push_back(entry);
            continue;
        }
        // By code: the receiver is on the configured network, reached directly.
        char ip[20] = {};
        if (getIpFromVerfCode(entry.c_str(), ip) != 0) {
            log("no receiver has the code " + entry);
            return -2;
        }
        addresses.emplace_back(ip);
    }
    return d->launch(target);
}

int P2PDsClientSessionProxy::startShare(const char* address, int port, const char* senderName)
{
    d->end(false);
    in_addr parsed{};
    if (!address || ::inet_pton(AF_INET, address, &parsed) != 1 || port < 1 || port > 65535) {
        return -2;
    }
    Target target;
    target.addresses.emplace_back(address);
    target.port = port;
    target.share = true;
    target.name = senderName ? senderName : "";
    return d->launch(target);
}

int P2PDsClientSessionProxy::lastStopReason() const
{
    return d->stopReason;
}

int P2PDsClientSessionProxy::Private::launch(const Target& target)
{
    auto attempt = std::make_shared<Attempt>();
    if (::pipe2(attempt->wake, O_CLOEXEC) != 0) {
        return -4;
    }
    std::lock_guard<std::mutex> lock(mutex);
    current = attempt;
    attempt->thread = std::thread([this, attempt, target] { run(attempt, target); });
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
