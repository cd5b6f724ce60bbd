// libFuzzer target: the print backend's reader of what a peer on port 6668
// sends, in pieces of any size: the reader ends in one state and a complete text is one balanced
// object within the size limit.
#include "printdriver/printinforeader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    PrintInfoReader reader;
    size_t at = 1;
    // The first byte chooses the piece size, the rest is the stream: the
    // split must not matter.
    const size_t piece = (data[0] % 64) + 1;
    while (at < size && reader.state() == PrintInfoReader::State::NeedMore) {
        const size_t n = size - at < piece ? size - at : piece;
        reader.feed(reinterpret_cast<const char*>(data) + at, n);
        at += n;
    }
    if (reader.state() == PrintInfoReader::State::Complete) {
        const std::string& text = reader.text();
        if (text.empty() || text.front() != '{' || text.back() != '}' ||
            text.size() > PrintInfoReader::kMaxBytes) {
            std::abort();
        }
        PrintInfoReader again;
        if (again.feed(text.data(), text.size()) != PrintInfoReader::State::Complete ||
            again.text() != text) {
            std::abort();
        }
    }
    return 0;
}
