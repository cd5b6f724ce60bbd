// libFuzzer target: the local service's parser of the form bodies the client
// posts, and the text a signature covers.
#include "fuzzsupport.h"
#include "standins/localservice/formbody.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body = FuzzSupport::bytes(data, size);
    FormBody form;
    if (form.parse(body)) {
        if (!form.error().isEmpty()) {
            std::abort();
        }
        for (const FormBody::Field& field : form.fields()) {
            if (field.name.isEmpty()) {
                std::abort();
            }
            form.value(field.name);
        }
        form.signedText();
    } else if (form.error().isEmpty()) {
        std::abort();
    }
    QByteArray decoded;
    FormBody::percentDecode(body, decoded);
    return 0;
}
