// libFuzzer target: the local service's check of a signed call. The first
// byte picks the call; then come header lines "Name: value" up to an empty
// line, then the form body. The service clock is fixed at
// 2026-12-11T09:30:00Z, so a seed signed for that moment passes.
#include "fuzzsupport.h"
#include "standins/localservice/deployment.h"
#include "standins/localservice/signatureverifier.h"

#include <QDateTime>

#include <cstdlib>

namespace {
Deployment& deployment()
{
    static Deployment loaded;
    return loaded;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    QString error;
    if (!deployment().load(VANTELOR_SOURCE_DIR "/config/local.json", error)) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    static const SignatureVerifier verifier(deployment(), 300);
    static const qint64 now = QDateTime(QDate(2026, 12, 11), QTime(9, 30), Qt::UTC).toMSecsSinceEpoch();
    const SignedCalls::Call& call = SignedCalls::all().at(data[0] % SignedCalls::all().size());
    const QByteArray input = FuzzSupport::bytes(data + 1, size - 1);
    const int end = input.indexOf("\n\n");
    SignatureVerifier::Headers headers;
    for (const QByteArray& line : input.left(end < 0 ? input.size() : end).split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0) {
            headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
    }
    const QByteArray body = end < 0 ? QByteArray() : input.mid(end + 2);
    FormBody form;
    const SignatureVerifier::Verdict verdict =
        verifier.verify(call, deployment().paths.value(call.role), headers, body, form, now);
    if (verdict.ok != verdict.errorCode.isEmpty() || (verdict.clockSkew && verdict.errorCode != "1103")) {
        std::abort();
    }
    return 0;
}
