// libFuzzer target: the conference configuration answer, whose content is
// JSON carried as a string.
#include "account/signedrequest.h"
#include "conference/tandemlinkapi.h"
#include "fuzzsupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CServiceAnswer answer =
        CSignedRequest::parseAnswer(FuzzSupport::bytes(data, size), QNetworkReply::NoError, false);
    QString appId;
    QString appKey;
    if (CTandemlinkAPI::readConfig(answer, appId, appKey) &&
        (!answer.success || appId.isEmpty() || appKey.isEmpty())) {
        std::abort();
    }
    return 0;
}
