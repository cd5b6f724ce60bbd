#include "streaming/streamframe.h"

std::string StreamFrame::header(Type type, uint8_t flags, uint32_t length)
{
    std::string h(kHeaderSize, '\0');
    h[0] = 'V';
    h[1] = 'F';
    h[2] = static_cast<char>(type);
    h[3] = static_cast<char>(flags);
    for (int i = 0; i < 4; ++i) {
        h[4 + i] = static_cast<char>((length >> (24 - 8 * i)) & 0xff);
    }
    return h;
}
