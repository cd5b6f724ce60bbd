// libFuzzer target: the request parsing of the local service's room calls.
// The first byte picks the call: a registration's body, a renewal's body or
// a lookup's request target with its query.
#include "fuzzsupport.h"
#include "standins/localservice/httputil.h"
#include "standins/localservice/meetingrooms.h"

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
    const QByteArray input = FuzzSupport::bytes(data + 1, size - 1);
    switch (data[0] % 3) {
    case 0: {
        QString name;
        QString address;
        int port = 0;
        if (MeetingRooms::readRegistration(input, name, address, port) &&
            (name.isEmpty() || name.size() > 64 || port < 1 || port > 65535 || address.count('.') != 3)) {
            std::abort();
        }
        break;
    }
    case 1: {
        const QString code = MeetingRooms::readCode(input);
        if (code != code.toUpper()) {
            std::abort();
        }
        break;
    }
    default: {
        httplib::Request request;
        request.target = "/api/rooms/lookup?" + input.toStdString();
        const QString code = HttpUtil::query(request, "code");
        if (code.toUpper().size() != code.size()) {
            std::abort();
        }
        break;
    }
    }
    return 0;
}
