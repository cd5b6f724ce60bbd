// libFuzzer target: the account service's answer envelope, as every signed
// call reads it. The first byte picks the transfer's outcome and whether a
// failed answer may set the clock offset; the rest is the body.
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
    static const QNetworkReply::NetworkError errors[] = {QNetworkReply::NoError,
                                                         QNetworkReply::ConnectionRefusedError,
                                                         QNetworkReply::RemoteHostClosedError,
                                                         QNetworkReply::OperationCanceledError,
                                                         QNetworkReply::InternalServerError,
                                                         QNetworkReply::ContentNotFoundError,
                                                         QNetworkReply::UnknownNetworkError,
                                                         QNetworkReply::TimeoutError};
    const QNetworkReply::NetworkError error = errors[data[0] % 8];
    const bool learnTimeOffset = data[0] & 0x80;
    const CServiceAnswer answer =
        CSignedRequest::parseAnswer(FuzzSupport::bytes(data + 1, size - 1), error, learnTimeOffset);
    if (!answer.received || answer.unfinished || (answer.timeOffsetChanged && !learnTimeOffset) ||
        (answer.timeOffsetChanged && answer.success)) {
        std::abort();
    }
    QString code = "caller";
    QString message = "caller";
    answer.applyErrorTo(code, message);
    if (answer.success && (code != "caller" || message != "caller")) {
        std::abort();
    }
    if (!answer.success && code != answer.errorCode) {
        std::abort();
    }
    return 0;
}
