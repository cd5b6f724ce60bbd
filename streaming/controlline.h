#pragma once

// The text lines that open a projection on the control connection: the sender
// writes "P2PDS/1 PROJECT", the receiver answers "ACCEPT", "BUSY" or
// "REJECT <reason>". After ACCEPT both directions carry stream frames.

#include <string>

class ControlLine
{
public:
    enum Kind
    {
        Invalid,
        Project,
        Accept,
        Busy,
        Reject
    };

    // Longest line either side reads, newline included; anything longer is
    // not a control line.
    static constexpr std::size_t kMaxLength = 64;

    // One line without its newline (a trailing CR is tolerated).
    static ControlLine parse(const std::string& line);
    // The line with its newline.
    static std::string text(Kind kind, int reason = 0);

    Kind kind = Invalid;
    int reason = 0;
};
