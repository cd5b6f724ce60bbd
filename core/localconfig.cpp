#include "core/localconfig.h"

#include "core/cipher.h"
#include "core/corelog.h"
#include "core/deviceidentity.h"
#include "platform/filemodes.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>

std::shared_ptr<CLocalConfig>& CLocalConfig::instance(bool release)
{
    // Our release encrypts through the cipher. Setting up its holder first
    // makes it outlive ours when both are left to process exit.
    // The key list, which that release also reads, likewise.
    static const bool cipherHolderFirst = (CCipher::instance(), keys(), true);
    Q_UNUSED(cipherHolderFirst);
    return singletonInstance<CLocalConfig>(release);
}

const QStringList& CLocalConfig::keys()
{
    static const QStringList all = {kDeviceId, kDevicePath, kUserPhone1,   kUserPhone2,
                                    kUserPswd, kTime,       kRememberPswd, kAutoLogin};
    return all;
}

bool CLocalConfig::rememberedForAutoLogin(const QDateTime& storedAt, const QDateTime& now)
{
    return storedAt.isValid() && storedAt.daysTo(now) <= kRememberDays;
}

bool CLocalConfig::rememberedForDialog(const QDateTime& storedAt, const QDateTime& now)
{
    return storedAt.isValid() && storedAt.daysTo(now) < kRememberDays;
}

CLocalConfig::CLocalConfig()
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    m_settings = std::make_shared<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                             QCoreApplication::organizationName(),
                                             QCoreApplication::applicationName());
    m_settings->setIniCodec("UTF-8");
    qCDebug(lcCore).noquote() << "vantelor config file path: " + filePath();
    // Files from before the client kept them private.
    if (QFile::exists(filePath())) {
        restrictFileToUser(filePath());
    }

    m_deviceId = deviceIdentity(false);
    const QString storedDeviceId = encryptedValue(kDeviceId, QString());
    const QString storedPath = encryptedValue(kDevicePath, QString());
    if (storedDeviceId != m_deviceId && storedPath != filePath()) {
        m_settings->clear();
        m_settings->sync();
    }
}

CLocalConfig::~CLocalConfig()
{
    setEncryptedValue(kDeviceId, m_deviceId);
    setEncryptedValue(kDevicePath, filePath());
    m_settings.reset();
}

QString CLocalConfig::filePath() const
{
    return m_settings->fileName();
}

QString CLocalConfig::storedKey(const QString& key) const
{
    for (const QString& known : keys()) {
        if (known.compare(key, Qt::CaseInsensitive) == 0) {
            return known;
        }
    }
    // Keys outside the table keep the spelling they were first stored with,
    // and a new one joins its group as that group is already spelled.
    const QStringList existingKeys = m_settings->allKeys();
    for (const QString& existing : existingKeys) {
        if (existing.compare(key, Qt::CaseInsensitive) == 0) {
            return existing;
        }
    }
    const int slash = key.lastIndexOf('/');
    if (slash > 0) {
        const QString group = key.left(slash + 1);
        for (const QString& spelled : keys() + existingKeys) {
            if (spelled.startsWith(group, Qt::CaseInsensitive) && spelled.lastIndexOf('/') == slash) {
                return spelled.left(slash + 1) + key.mid(slash + 1);
            }
        }
    }
    return key;
}

void CLocalConfig::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(storedKey(key), value);
    m_settings->sync();
}

QVariant CLocalConfig::value(const QString& key, const QVariant& defaultValue)
{
    m_settings->sync();
    return m_settings->value(storedKey(key), defaultValue);
}

void CLocalConfig::setEncryptedValue(const QString& key, const QString& value)
{
    QString stored;
    if (!value.isEmpty()) {
        QByteArray cipherText;
        if (!CCipher::instance()->encrypt(value.toUtf8(), cipherText)) {
            // An empty entry would read as another computer's at the next start.
            qCDebug(lcCore).noquote() << "CLocalConfig: cannot encrypt" << key;
            return;
        }
        stored = QString::fromLatin1(cipherText.toBase64());
    }
    setValue(key, stored);
}

QString CLocalConfig::encryptedValue(const QString& key, const QString& defaultValue)
{
    const QString stored = value(key, defaultValue).toString();
    if (stored == defaultValue) {
        return defaultValue;
    }
    QByteArray plain;
    CCipher::instance()->decrypt(QByteArray::fromBase64(stored.toLatin1()), plain);
    return QString::fromUtf8(plain);
}

void CLocalConfig::remove(const QString& key)
{
    m_settings->remove(storedKey(key));
    m_settings->sync();
}

bool CLocalConfig::rememberPassword(const QString& password)
{
    QString encrypted;
    if (!CCipher::instance(false)->rsaEncryptBase64(password, encrypted)) {
        return false;
    }
    setEncryptedValue(kUserPswd, encrypted);
    return true;
}

bool CLocalConfig::replaceRememberedPassword(const QString& phone, const QString& password)
{
    if (phone.isEmpty() || encryptedValue(kUserPswd).isEmpty() || encryptedValue(kUserPhone1) != phone) {
        return false;
    }
    return rememberPassword(password);
}
