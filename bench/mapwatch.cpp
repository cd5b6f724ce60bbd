// Starts a program and reports when the X server maps its first top-level
// window (MapNotify on the root window, as the server sees it):
//   vantelor-mapwatch [--timeout SECONDS] -- program [arguments...]
// prints to stdout, each line flushed:
//   start <wall clock ns>           just before the program is started
//   pid <pid>                       the program's process
//   mapped <ms> <width>x<height> 0x<window>   or "mapped none" at the time-out
// then waits for the program and exits with its status. Override-redirect
// windows (menus, tool tips) do not count.
#include <xcb/xcb.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

namespace {
pid_t child = 0;

void forward(int signal)
{
    if (child > 0) {
        kill(child, signal);
    }
}

long long nowNs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

int waitForChild()
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
} // namespace

int main(int argc, char** argv)
{
    int timeoutSeconds = 60;
    int first = 1;
    for (; first < argc; ++first) {
        if (std::strcmp(argv[first], "--timeout") == 0 && first + 1 < argc) {
            timeoutSeconds = std::atoi(argv[++first]);
        } else if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        } else {
            break;
        }
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--timeout SECONDS] -- program [arguments...]\n", argv[0]);
        return 2;
    }

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "vantelor-mapwatch: cannot open the display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    // A round trip: the selection is in force before the program starts.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));

    std::signal(SIGTERM, forward);
    std::signal(SIGINT, forward);
    const long long startMono = nowNs(CLOCK_MONOTONIC);
    std::printf("start %lld\n", nowNs(CLOCK_REALTIME));
    std::fflush(stdout);
    child = fork();
    if (child == 0) {
        close(xcb_get_file_descriptor(connection));
        execvp(argv[first], argv + first);
        std::perror("vantelor-mapwatch: exec");
        _exit(127);
    }
    std::printf("pid %d\n", static_cast<int>(child));
    std::fflush(stdout);

    const long long deadline = startMono + timeoutSeconds * 1000000000LL;
    bool mapped = false;
    while (!mapped) {
        xcb_generic_event_t* event = xcb_poll_for_event(connection);
        if (!event) {
            if (xcb_connection_has_error(connection)) {
                break;
            }
            const long long left = (deadline - nowNs(CLOCK_MONOTONIC)) / 1000000;
            if (left <= 0) {
                break;
            }
            pollfd fd{xcb_get_file_descriptor(connection), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left < 200 ? left : 200));
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                std::printf("mapped none (the program ended)\n");
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            continue;
        }
        // Taken at once: the time the event arrived, not when it is printed.
        const long long at = nowNs(CLOCK_MONOTONIC);
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (map->event == root && !map->override_redirect) {
                std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
                    xcb_get_geometry_reply(connection, xcb_get_geometry(connection, map->window), nullptr),
                    &std::free);
                std::printf("mapped %.1f %dx%d 0x%x\n", (at - startMono) / 1e6,
                            geometry ? geometry->width : 0, geometry ? geometry->height : 0, map->window);
                std::fflush(stdout);
                mapped = true;
            }
        }
        std::free(event);
    }
    if (!mapped) {
        std::printf("mapped none\n");
        std::fflush(stdout);
    }
    xcb_disconnect(connection);
    return waitForChild();
}
