#include "streaming/controlline.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string toBase64(const std::string& bytes)
{
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            out += k <= n ? kBase64[(v >> (18 - 6 * k)) & 0x3f] : '=';
        }
    }
    return out;
}

// Strict: whole groups of four, padding only at the end; false otherwise.
bool fromBase64(const std::string& text, std::string& bytes)
{
    bytes.clear();
    if (text.empty() || text.size() % 4 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); i += 4) {
        uint32_t v = 0;
        int padding = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            const char* at = c == '\0' ? nullptr : std::strchr(kBase64, c);
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                ++padding;
                v <<= 6;
                continue;
            }
            if (!at || padding > 0) {
                return false;
            }
            v = (v << 6) | static_cast<uint32_t>(at - kBase64);
        }
        for (int k = 0; k < 3 - padding; ++k) {
            bytes += static_cast<char>((v >> (16 - 8 * k)) & 0xff);
        }
    }
    return true;
}
} // namespace

ControlLine ControlLine::parse(const std::string& raw)
{
    ControlLine result;
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.size() >= kMaxRequestLength || line.find('\0') != std::string::npos) {
        return result;
    }
    const std::string share = "P2PDS/1 SHARE";
    if (line == "P2PDS/1 PROJECT") {
        result.kind = Project;
    } else if (line == share) {
        result.kind = Share;
    } else if (line.rfind(share + " ", 0) == 0) {
        std::string name;
        if (fromBase64(line.substr(share.size() + 1), name) && name.size() <= kMaxNameBytes) {
            result.kind = Share;
            result.name = name;
        }
    } else if (line.size() >= kMaxLength) {
        // Only a request may be this long.
    } else if (line == "ACCEPT") {
        result.kind = Accept;
    } else if (line == "BUSY") {
        result.kind = Busy;
    } else if (line.rfind("REJECT ", 0) == 0) {
        // A reason of 1 to 9 decimal digits and nothing else.
        const std::string digits = line.substr(7);
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return result;
        }
        result.kind = Reject;
        result.reason = std::atoi(digits.c_str());
    }
    return result;
}

std::string ControlLine::text(Kind kind, int reason)
{
    switch (kind) {
    case Project:
        return "P2PDS/1 PROJECT\n";
    case Share:
        return shareText(std::string());
    case Accept:
        return "ACCEPT\n";
    case Busy:
        return "BUSY\n";
    case Reject:
        return "REJECT " + std::to_string(reason < 0 ? 0 : reason) + "\n";
    case Invalid:
        break;
    }
    return std::string();
}

std::string ControlLine::shareText(const std::string& name)
{
    std::string cut = name.substr(0, kMaxNameBytes);
    if (cut.size() < name.size()) {
        // Back to the start of the character the cut went through.
        std::size_t end = cut.size();
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xc0) == 0x80) {
            --end;
        }
        cut.resize(end);
    }
    return cut.empty() ? "P2PDS/1 SHARE\n" : "P2PDS/1 SHARE " + toBase64(cut) + "\n";
}
