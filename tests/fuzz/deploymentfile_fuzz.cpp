// libFuzzer target: the deployment file checker the build tool and the tests
// use, reading the file from the target's own directory.
#include "core/deploymentfile.h"
#include "fuzzsupport.h"

#include <QFile>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzSupport::directory() + "/deployment.json";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        std::abort();
    }
    file.close();
    CDeploymentFile deployment;
    const bool ok = deployment.load(path);
    if (ok != deployment.error().isEmpty()) {
        std::abort();
    }
    if (ok && deployment.entries().size() != CDeploymentFile::entryKeys().size()) {
        std::abort();
    }
    return 0;
}
