#include "core/deployment.h"

#include "core/apiconfig.h"
#include "core/cipher.h"
#include "core/deploymentdata.h"
#include "core/deploymentfile.h"
#include "core/symmetriccipher.h"

#include <QStringList>

#include <optional>

static_assert(CDeployment::EntryCount == DeploymentData::kEntryCount, "deployment entries out of step");
static_assert(CApiConfig::SlotCount == DeploymentData::kApiSlotCount, "service table out of step");

namespace {
struct StoredTable
{
    QStringList apiSlots;
    QStringList entries;
};

// Set only by the test seam.
std::optional<StoredTable>& overrideTable()
{
    static std::optional<StoredTable> table;
    return table;
}

QString encipher(const QString& plain)
{
    QByteArray cipherText;
    if (plain.isEmpty() || !SymmetricCipher::encrypt(plain.toLatin1(), cipherText)) {
        return QString();
    }
    return QString::fromLatin1(cipherText.toBase64());
}

void dropDecodedState()
{
    CApiConfig::instance(true);
    CCipher::instance(true);
}

bool install(const CDeploymentFile& file)
{
    StoredTable table;
    for (int slot = 0; slot < CDeploymentFile::kApiSlotCount; ++slot) {
        table.apiSlots << (slot == 6 ? file.apiSlots()[slot] : encipher(file.apiSlots()[slot]));
    }
    for (const QString& value : file.entries()) {
        table.entries << encipher(value);
    }
    overrideTable() = table;
    dropDecodedState();
    return true;
}

bool reject(const CDeploymentFile& file, QString* error)
{
    if (error) {
        *error = file.error();
    }
    return false;
}
} // namespace

QString CDeployment::value(Entry entry)
{
    if (entry < 0 || entry >= EntryCount) {
        return QString();
    }
    const QString stored = overrideTable() ? overrideTable()->entries.at(entry)
                                           : QString::fromLatin1(DeploymentData::kEntries[entry]);
    QByteArray plain;
    if (stored.isEmpty() || !SymmetricCipher::decrypt(QByteArray::fromBase64(stored.toLatin1()), plain)) {
        return QString();
    }
    return QString::fromLatin1(plain);
}

QString CDeployment::storedApiSlot(int slot)
{
    if (slot < 0 || slot >= DeploymentData::kApiSlotCount) {
        return QString();
    }
    return overrideTable() ? overrideTable()->apiSlots.at(slot)
                           : QString::fromLatin1(DeploymentData::kApiSlots[slot]);
}

bool CDeployment::loadForTesting(const QJsonObject& deployment, QString* error)
{
    CDeploymentFile file;
    return file.parse(deployment) ? install(file) : reject(file, error);
}

bool CDeployment::loadForTesting(const QString& path, QString* error)
{
    CDeploymentFile file;
    return file.load(path) ? install(file) : reject(file, error);
}

void CDeployment::restoreBuiltInForTesting()
{
    overrideTable().reset();
    dropDecodedState();
}
