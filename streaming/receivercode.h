#pragma once

// Projection codes: a 5-character code names the last three octets of the
// receiver's IPv4 address. The 24 bits are written in base 32 with the
// Crockford alphabet (no I, L, O or U), most significant digit first, so a
// code is case-insensitive and O/I/L read as 0/1/1. Codes above 24 bits and
// the all-zero code name no receiver.

#include <cstdint>
#include <string>

namespace receivercode {

inline const char* alphabet()
{
    return "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
}

// -1 when the text is not a valid code.
inline long decode(const std::string& code)
{
    if (code.size() != 5) {
        return -1;
    }
    long value = 0;
    for (char c : code) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c == 'O') {
            c = '0';
        } else if (c == 'I' || c == 'L') {
            c = '1';
        }
        const char* a = alphabet();
        int digit = -1;
        for (int i = 0; i < 32; ++i) {
            if (a[i] == c) {
                digit = i;
                break;
            }
        }
        if (digit < 0) {
            return -1;
        }
        value = value * 32 + digit;
    }
    return (value > 0 && value < (1L << 24)) ? value : -1;
}

inline std::string encode(uint32_t lastThreeOctets)
{
    std::string code(5, '0');
    for (int i = 4; i >= 0; --i) {
        code[i] = alphabet()[lastThreeOctets % 32];
        lastThreeOctets /= 32;
    }
    return code;
}

} // namespace receivercode
