#pragma once

// The text lines that open a projection on the control connection: the sender
// writes "P2PDS/1 PROJECT", the receiver answers "ACCEPT", "BUSY" or
// "REJECT <reason>". After ACCEPT both directions carry stream frames.
// A share to a meeting room writes "P2PDS/1 SHARE", or "P2PDS/1 SHARE <name>"
// with the sharer's name as base64 of its UTF-8: it takes the room over from
// whoever shows there instead of being told BUSY.

#include <string>

class ControlLine
{
public:
    enum Kind
    {
        Invalid,
        Project,
        Share,
        Accept,
        Busy,
        Reject
    };

    // Longest line either side reads, newline included; anything longer is
    // not a control line.
    static constexpr std::size_t kMaxLength = 64;
    // The request line, which may carry a name, may be longer.
    static constexpr std::size_t kMaxRequestLength = 128;
    // A longer sharer's name is cut (at a character boundary) to this many bytes.
    static constexpr std::size_t kMaxNameBytes = 60;

    // One line without its newline (a trailing CR is tolerated).
    static ControlLine parse(const std::string& line);
    // The line with its newline.
    static std::string text(Kind kind, int reason = 0);
    // "P2PDS/1 SHARE", with the name when there is one.
    static std::string shareText(const std::string& name);

    Kind kind = Invalid;
    int reason = 0;
    std::string name; // Share: the sharer's name (UTF-8), may be empty
};
