// libFuzzer target: the token manager's content parsing, the token answer
// and the validation answer's account id, read from one answer body.
#include "account/logininfo.h"
#include "account/signedrequest.h"
#include "account/tokenmanager.h"
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
    CLoginInfo& info = *CLoginInfo::instance();
    info.clear();
    const bool token = CTokenManager::readToken(answer, info);
    if (token && (!answer.success || info.accessToken.isEmpty())) {
        std::abort();
    }
    CTokenManager::readAccountId(answer, info);
    bool number = false;
    info.accountId.toLongLong(&number);
    if (!number) {
        std::abort();
    }
    return 0;
}
