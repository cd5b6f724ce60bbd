#include "streaming/capturebackend.h"

namespace {
std::string value(const CaptureBackend::Environment& environment, const char* name)
{
    const char* text = environment(name);
    return text ? std::string(text) : std::string();
}
} // namespace

CaptureBackend CaptureBackend::detect(const Environment& environment)
{
    CaptureBackend backend;
    const std::string sessionType = value(environment, "XDG_SESSION_TYPE");
    const std::string waylandDisplay = value(environment, "WAYLAND_DISPLAY");
    const std::string display = value(environment, "DISPLAY");

    if (sessionType == "wayland" || (!waylandDisplay.empty() && sessionType != "x11")) {
        backend.kind = Wayland;
        backend.problem = "this is a Wayland session: the screen can only be captured through the "
                          "screen-cast portal, which this library does not support yet";
        return backend;
    }
    if (!display.empty()) {
        backend.kind = X11;
        backend.display = display;
        return backend;
    }
    backend.problem = "no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set): there is no "
                      "screen to capture";
    return backend;
}
