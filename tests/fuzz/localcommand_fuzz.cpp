// libFuzzer target: the command another process hands the running client on
// its "marlunemain" socket (the updater's close and notices, a second start).
#include "fuzzsupport.h"
#include "platform/localcommand.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CLocalCommand command = CLocalCommand::parse(FuzzSupport::bytes(data, size));
    if ((command.kind == CLocalCommand::None) != command.words.isEmpty()) {
        std::abort();
    }
    for (const QString& word : command.words) {
        if (word.isEmpty() || word.contains(' ')) {
            std::abort();
        }
    }
    return 0;
}
