// libFuzzer target: the update feed (an RSS channel of signed packages) and
// the version comparison of what it offers.
#include "fuzzsupport.h"
#include "platform/appcast.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CAppcast feed;
    if (!feed.parse(FuzzSupport::bytes(data, size))) {
        if (feed.error().isEmpty() || !feed.items().isEmpty()) {
            std::abort();
        }
        return 0;
    }
    for (const CAppcastItem& item : feed.items()) {
        if (item.version.isEmpty() || item.signature.isEmpty()) {
            std::abort();
        }
        if (CAppcast::compareVersions(item.version, item.version) != 0) {
            std::abort();
        }
    }
    CAppcastItem newest;
    if (feed.newerThan("2.4.7", newest) && CAppcast::compareVersions(newest.version, "2.4.7") <= 0) {
        std::abort();
    }
    return 0;
}
