// libFuzzer target: the login manager's content parsing of the login
// sequence's answers (company list, person detail, access ticket and the
// end of a sign-in by the service), all read from one answer body.
#include "account/logininfo.h"
#include "account/loginmanager.h"
#include "account/signedrequest.h"
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
    CLoginManager::readCompanies(answer.content, info);
    if (info.companyIds.size() != info.companyNames.size()) {
        std::abort();
    }
    CLoginManager::readPerson(answer.content, info);
    if (answer.content.isObject() && info.personJson.isEmpty()) {
        std::abort();
    }
    if (CLoginManager::readTicket(answer, info) && info.ticket.isEmpty()) {
        std::abort();
    }
    info.errorCode = answer.errorCode;
    info.errorMsg = answer.errorMsg;
    CLoginManager::isKickedOut(info);
    return 0;
}
