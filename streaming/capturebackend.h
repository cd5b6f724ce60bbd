#pragma once

// Which screen capture the session the library runs in allows, decided at run
// time from the environment. On Wayland an X capture only sees XWayland's
// own windows and gives black frames elsewhere, so it is never used there.

#include <functional>
#include <string>

class CaptureBackend
{
public:
    enum Kind
    {
        None,
        X11,
        Wayland
    };

    using Environment = std::function<const char*(const char* name)>;
    static CaptureBackend detect(const Environment& environment);

    Kind kind = None;
    std::string display; // X display name for X11
    std::string problem; // a plain sentence when the screen cannot be captured
};
