// libFuzzer target: the media server's answers and events as the conference
// program reads them. What parses holds only checked fields: ids within
// JSON's exact integers, a session description of a known type that starts
// like one, and no more publishers than a room holds.
#include "standins/conferenceprocess/janusmessage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QList<CJanusMessage> messages;
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    if (!CJanusMessage::parse(body, messages)) {
        if (!messages.isEmpty()) {
            std::abort();
        }
        return 0;
    }
    for (const CJanusMessage& message : messages) {
        if (message.sessionId < 0 || message.sender < 0 || message.dataId < 0 ||
            message.publishers.size() > 64) {
            std::abort();
        }
        if (!message.jsepType.isEmpty() && !message.jsepSdp.startsWith(QLatin1String("v=0"))) {
            std::abort();
        }
        for (const CJanusMessage::Publisher& publisher : message.publishers) {
            if (publisher.id.isEmpty()) {
                std::abort();
            }
        }
        if (message.kind == CJanusMessage::Kind::Error && message.errorCode == 0) {
            std::abort();
        }
    }
    return 0;
}
