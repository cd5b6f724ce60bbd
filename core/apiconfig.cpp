#include "core/apiconfig.h"

#include "core/cipher.h"
#include "core/deployment.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QVariant>

namespace {
qint64& fixedClock()
{
    static qint64 msecs = 0;
    return msecs;
}

bool takesBaseUrl(int slot)
{
    return (slot >= CApiConfig::UrlAuthCodeByPassword && slot <= CApiConfig::UrlModifyProfile) ||
           slot == CApiConfig::UrlUnused30 || slot == CApiConfig::UrlConferenceConfig;
}
} // namespace

CApiConfig::CApiConfig()
{
    for (int slot = 0; slot < SlotCount; ++slot) {
        m_slots[slot] = CDeployment::storedApiSlot(slot);
    }
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (slot == Unused6 || m_slots[slot].isEmpty()) {
            continue;
        }
        QByteArray plain;
        CCipher::instance()->decrypt(QByteArray::fromBase64(m_slots[slot].toLatin1()), plain);
        m_slots[slot] = QString::fromLatin1(plain);
    }
    // Unused slots stay empty rather than turning into the bare base URL.
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (takesBaseUrl(slot) && !m_slots[slot].isEmpty()) {
            m_slots[slot].prepend(m_slots[BaseUrl]);
        }
    }
}

QString CApiConfig::slot(Slot slot) const
{
    return slot >= 0 && slot < SlotCount ? m_slots[slot] : QString();
}

void CApiConfig::setCurrentTimeForTesting(qint64 msecsSinceEpoch)
{
    fixedClock() = msecsSinceEpoch;
}

qint64 CApiConfig::correctedNow() const
{
    const qint64 now = fixedClock() != 0 ? fixedClock() : QDateTime::currentMSecsSinceEpoch();
    return now - m_timeOffset;
}

QString CApiConfig::nonce() const
{
    // qrand() is 15 bits wide on the service's reference platform; the same
    // range is drawn here whatever the C library's RAND_MAX.
    const int r = int(QRandomGenerator::global()->bounded(32768));
    const int n = int(r / 32767.0 * 899.0 + 100.0);
    QString time = QString::number(correctedNow());
    time.chop(5);
    return time + QString::number(n);
}

QString CApiConfig::timestamp() const
{
    return QDateTime::fromMSecsSinceEpoch(correctedNow(), Qt::UTC).toString(Qt::ISODate);
}

bool CApiConfig::setTimeOffset(const QJsonObject& answer)
{
    if (answer.isEmpty() || !answer.contains("timeOffest")) {
        return false;
    }
    const qint64 offset = answer.value("timeOffest").toVariant().toLongLong();
    if (offset == 0) {
        return false;
    }
    m_timeOffset = offset;
    return true;
}
