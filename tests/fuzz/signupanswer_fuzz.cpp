// libFuzzer target: the signup manager's handling of the pre-creation
// answer: the failure text and, on success, the authorization code.
#include "account/logininfo.h"
#include "account/signedrequest.h"
#include "account/signupmanager.h"
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
    QString ignoredCode;
    QString message = "earlier";
    answer.applyErrorTo(ignoredCode, message);
    if (CSignupManager::readPreCreation(answer, info) != answer.success) {
        std::abort();
    }
    return 0;
}
