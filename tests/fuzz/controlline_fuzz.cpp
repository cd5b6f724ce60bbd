// libFuzzer target: the control lines of a projection, as the projection
// library and the receiver read them. A line that parses writes back as the
// same line, and a sharer's name survives its way through base64.
#include "streaming/controlline.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    const ControlLine parsed = ControlLine::parse(line);
    if (parsed.kind == ControlLine::Invalid) {
        return 0;
    }
    std::string text = parsed.kind == ControlLine::Share ? ControlLine::shareText(parsed.name)
                                                         : ControlLine::text(parsed.kind, parsed.reason);
    if (text.empty() || text.back() != '\n' || text.size() > ControlLine::kMaxRequestLength) {
        std::abort();
    }
    text.pop_back();
    const ControlLine again = ControlLine::parse(text);
    if (again.kind != parsed.kind || again.reason != parsed.reason || again.name != parsed.name) {
        std::abort();
    }
    // Any bytes as a sharer's name: the line stays a share request.
    if (ControlLine::parse(ControlLine::shareText(line).substr(0, ControlLine::shareText(line).size() - 1))
            .kind != ControlLine::Share) {
        std::abort();
    }
    return 0;
}
