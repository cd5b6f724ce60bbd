#pragma once

// The sender's GStreamer pipeline: the whole X screen, converted and encoded
// as low-latency H.264, handed out one access unit at a time. One pipeline
// serves every receiver of a projection (encode once, send to each).

#include <cstdint>
#include <string>

struct _GstElement;

class ScreenSender
{
public:
    struct Unit
    {
        std::string data; // H.264 byte stream, SPS/PPS in front of key frames
        bool keyFrame = false;
    };

    ScreenSender();
    ~ScreenSender();
    ScreenSender(const ScreenSender&) = delete;
    ScreenSender& operator=(const ScreenSender&) = delete;

    // Starts capturing the display; false with a plain reason when it cannot.
    bool start(const std::string& display, int bitrateKbps, std::string& problem);
    // Waits at most timeoutMs for the next unit. False on time-out or failure;
    // failed() tells them apart.
    bool pull(Unit& unit, int timeoutMs);
    bool failed(std::string& problem);
    // Asks the encoder for a key frame as soon as it can.
    void requestKeyFrame();
    void stop();

private:
    _GstElement* m_pipeline = nullptr;
    _GstElement* m_encoder = nullptr;
    _GstElement* m_sink = nullptr;
};
