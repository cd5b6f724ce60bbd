// libFuzzer target: what the conference process writes on the local socket.
// The stream is cut into objects by the IPC server's scanner, fed in pieces
// of the sizes the first four bytes choose, and every object goes to the
// message handling behind it. Bit 7 of the first byte gives the scanner a
// small cap, so the drop of an oversized object is reached too.
#include "conference/jsonobjectscanner.h"
#include "conference/tandemlinkproc.h"
#include "fuzzsupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    const int cap = data[0] & 0x80 ? 256 : CJsonObjectScanner::kDefaultMaxBuffered;
    CJsonObjectScanner scanner(cap);
    CTandemlinkProc& proc = *CTandemlinkProc::instance();
    const QByteArray stream = FuzzSupport::bytes(data + 4, size - 4);
    int at = 0;
    for (int piece = 0; at < stream.size(); ++piece) {
        const int length = qMin(stream.size() - at, int(data[piece % 4] & 0x3f) + 1);
        const QList<QByteArray> messages = scanner.feed(stream.mid(at, length));
        at += length;
        for (const QByteArray& message : messages) {
            if (message.size() < 2 || !message.startsWith('{') || !message.endsWith('}')) {
                std::abort();
            }
            proc.parseMessage(message);
        }
        if (scanner.bufferedBytes() > cap || scanner.droppedSample().size() > scanner.droppedBytes()) {
            std::abort();
        }
    }
    return 0;
}
