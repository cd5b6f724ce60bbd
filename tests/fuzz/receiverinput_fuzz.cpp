// libFuzzer target: what a sender writes to the receiver's control port: the
// request line, read as the receiver reads it (one line of at most
// ControlLine::kMaxRequestLength bytes), then the stream, cut into frames by
// the frame reader in pieces of the sizes the request line's bytes choose,
// until the reader refuses the stream or a STOP frame ends it.
#include "streaming/controlline.h"
#include "streaming/framereader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    // The receiver reads at most kMaxRequestLength - 1 bytes up to a newline.
    const std::size_t window = std::min(size, ControlLine::kMaxRequestLength - 1);
    const void* newline = std::memchr(bytes, '\n', window);
    if (!newline) {
        return 0;
    }
    const std::size_t lineLength = static_cast<const char*>(newline) - bytes;
    const ControlLine request = ControlLine::parse(std::string(bytes, lineLength));
    if (request.kind != ControlLine::Project && request.kind != ControlLine::Share) {
        return 0;
    }
    FrameReader reader;
    std::size_t at = lineLength + 1;
    for (std::size_t piece = 0; at < size; ++piece) {
        const std::size_t length =
            std::min<std::size_t>(size - at, (data[piece % (lineLength + 1)] % 97) + 1);
        reader.feed(bytes + at, length);
        at += length;
        StreamFrame frame;
        FrameReader::Result result;
        while ((result = reader.next(frame)) == FrameReader::Frame) {
            if (frame.payload.size() > StreamFrame::kMaxPayload) {
                std::abort();
            }
            if (frame.type == StreamFrame::Stop) {
                return 0;
            }
        }
        if (result == FrameReader::Error) {
            if (reader.error().empty()) {
                std::abort();
            }
            return 0;
        }
    }
    return 0;
}
