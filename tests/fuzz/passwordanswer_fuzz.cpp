// libFuzzer target: the password manager's answers (change or reset of the
// password, the profile). The first byte picks the call's kind and the
// transfer's outcome; the rest is the body.
#include "account/passwordmanager.h"
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
    if (size == 0) {
        return 0;
    }
    const bool isChange = data[0] & 1;
    const QNetworkReply::NetworkError error =
        data[0] & 2 ? QNetworkReply::ConnectionRefusedError : QNetworkReply::NoError;
    CServiceAnswer answer = CSignedRequest::parseAnswer(FuzzSupport::bytes(data + 1, size - 1), error, false);
    answer.unfinished = data[0] & 4;
    QString message = "earlier";
    if (CPasswordManager::readPasswordAnswer(answer, isChange, message) != answer.success) {
        std::abort();
    }
    message = "earlier";
    const bool profileSaved = CPasswordManager::readProfileAnswer(answer, message);
    if (profileSaved && (error != QNetworkReply::NoError || answer.unfinished || !answer.success)) {
        std::abort();
    }
    return 0;
}
