#pragma once

// After ACCEPT the control connection carries frames in both directions: an
// 8-byte header ("VF", type, flags, payload length as 32-bit big-endian) and
// the payload. Video frames hold one H.264 access unit in byte-stream form;
// the others are empty. Any data keeps the connection alive: a side that has
// sent nothing for kPingIntervalMs sends a ping, and a side that hears nothing
// for kSilenceLimitMs takes the peer for gone.

#include <cstdint>
#include <string>

struct StreamFrame
{
    enum Type : uint8_t
    {
        Video = 1,
        Ping = 2,
        Stop = 3,
        KeyFrameRequest = 4, // receiver to sender: the next video frame is a key frame
        Replaced = 5,        // receiver to sender: another sender took the room over; the end
    };
    enum Flag : uint8_t
    {
        KeyFrame = 0x01
    };

    static constexpr std::size_t kHeaderSize = 8;
    // Far above a 1080p key frame at the bit rates used; bounds what a reader buffers.
    static constexpr uint32_t kMaxPayload = 8u << 20;
    static constexpr int kPingIntervalMs = 500;
    static constexpr int kSilenceLimitMs = 2500;

    static std::string header(Type type, uint8_t flags, uint32_t length);
    // A whole frame without payload (ping, stop, key-frame request).
    static std::string empty(Type type) { return header(type, 0, 0); }

    Type type = Ping;
    uint8_t flags = 0;
    std::string payload;
};
