#pragma once

#include <cstddef>
#include <string>

// The print information the client writes on 127.0.0.1:6668: one JSON object
// with no length prefix and no terminator, after which the client keeps the
// connection open until the driver hangs up. So the object is complete when
// its outermost closing brace arrives; nothing else says so.
class PrintInfoReader
{
public:
    enum class State
    {
        NeedMore,
        Complete,
        Garbage,
        TooLarge
    };
    // Far above any print information; a peer that sends more is not the client.
    static constexpr std::size_t kMaxBytes = 64 * 1024;

    // Takes the next bytes and returns the state after them. Bytes after the
    // completing brace are ignored; once not NeedMore, the state stays.
    State feed(const char* data, std::size_t size);
    State state() const { return m_state; }
    // The object's text, from its opening to its closing brace.
    const std::string& text() const { return m_text; }

    enum class Outcome
    {
        Complete,
        ClosedEmpty,
        ClosedIncomplete,
        Garbage,
        TooLarge,
        TimedOut,
        Failed
    };
    // Reads a connected socket until the object is complete, the peer closes,
    // or timeoutMs has passed in all; fills text on Complete.
    static Outcome read(int fd, int timeoutMs, std::string& text);
    static const char* name(Outcome outcome);

private:
    State m_state = State::NeedMore;
    std::string m_text;
    std::string m_closers; // the brackets still open, innermost last
    std::size_t m_received = 0;
    bool m_inString = false;
    bool m_escape = false;
};
