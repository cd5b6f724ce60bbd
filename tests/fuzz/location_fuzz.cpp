// libFuzzer target: the IP location answer, from its first "{" to its last "}".
#include "fuzzsupport.h"
#include "weather/iplocate.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IPLocate::cityFromAnswer(FuzzSupport::bytes(data, size));
    return 0;
}
