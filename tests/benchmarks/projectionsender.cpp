// Sender side of the projection benchmark: the projection library in a
// process of its own, projecting the screen of $DISPLAY to one address for
// a while; prints the process's CPU time (the library's capture, encoder and
// sending threads) as % of one core.

#include "projection/p2pdsclientsession.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {
class Callback : public IP2PDsClientSessionCb
{
public:
    void onProjectionSuccess() override { success = true; }
    void onProjectionRejected(int32_t) override { failed = true; }
    void onBusying() override { failed = true; }
    void onProjectionStopped() override { failed = true; }
    void onNoStreamProjectionCommandResponse(int32_t) override { failed = true; }
    std::atomic<bool> success{false};
    std::atomic<bool> failed{false};
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ADDRESS SECONDS\n", argv[0]);
        return 2;
    }
    Callback callback;
    P2PDsClientSessionProxy session(&callback);
    session.init();
    P2PDsClientSettings settings;
    settings.kind = 1;
    settings.entryCount = 1;
    std::strncpy(settings.entries[0], argv[1], 19);
    session.startProjection(settings);
    for (int i = 0; i < 100 && !callback.success && !callback.failed; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!callback.success) {
        std::fprintf(stderr, "sender: the projection did not start\n");
        return 1;
    }
    const double cpuStart = cpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = cpuSeconds() - cpuStart;
    session.stopProjection();
    std::printf("sender CPU %.0f %% of one core\n", 100.0 * cpu / wall);
    return callback.failed ? 1 : 0;
}
