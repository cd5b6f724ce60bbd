// libFuzzer target: the print service's answer the print bridge reads, whose
// "data" object becomes the print information handed to the print driver.
#include "account/logininfo.h"
#include "account/printbridge.h"
#include "account/signedrequest.h"
#include "fuzzsupport.h"

#include <QJsonDocument>

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
    if (CPrintBridge::readPrintInfo(answer, info)) {
        // What the driver gets must be one JSON object.
        if (!QJsonDocument::fromJson(info.printInfo.toUtf8()).isObject()) {
            std::abort();
        }
    } else if (info.errorCode != answer.errorCode) {
        std::abort();
    }
    return 0;
}
