#pragma once

#include "core/singleton.h"

#include <QDateTime>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// The client's settings file: plain and encrypted values, wiped when it turns
// up on another computer at another place. Keys ignore letter case: each key
// is mapped to one spelling before it reaches the file.
class CLocalConfig
{
public:
    static std::shared_ptr<CLocalConfig>& instance(bool release = false);

    // Every key of the file, in their one spelling.
    static constexpr const char* kDeviceId = "Device/deviceID";
    static constexpr const char* kDevicePath = "Device/path";
    static constexpr const char* kUserPhone1 = "LoginDlg/userPhone1";
    static constexpr const char* kUserPhone2 = "LoginDlg/userPhone2";
    static constexpr const char* kUserPswd = "LoginDlg/userPswd";
    static constexpr const char* kTime = "LoginDlg/time";
    static constexpr const char* kRememberPswd = "LoginDlg/rememberPswd";
    static constexpr const char* kAutoLogin = "LoginDlg/autoLogin";
    static const QStringList& keys();

    // Whether a password remembered at storedAt (kTime) may still be used at
    // now, in midnights passed (QDateTime::daysTo; a future time passes, an
    // invalid one never). The two rules are one day apart and stay so: a start
    // on the 15th day still signs in by itself, while the login dialog opened
    // that day no longer offers the password and drops it. Users know both
    // days; one rule for both would move one of them.
    static constexpr int kRememberDays = 15;
    // Automatic sign-in: kRememberDays or fewer.
    static bool rememberedForAutoLogin(const QDateTime& storedAt, const QDateTime& now);
    // The login dialog: fewer than kRememberDays.
    static bool rememberedForDialog(const QDateTime& storedAt, const QDateTime& now);

    // Writes the device entries with the cipher (created again if it was
    // released before).
    ~CLocalConfig();

    void setValue(const QString& key, const QVariant& value);
    QVariant value(const QString& key, const QVariant& defaultValue = QVariant());
    void setEncryptedValue(const QString& key, const QString& value);
    QString encryptedValue(const QString& key, const QString& defaultValue = QString());
    void remove(const QString& key);
    // Keeps the sign-in password for the next start: RSA-encrypted for the
    // service, then encrypted like every secret of the file. Stores nothing
    // when the RSA step fails.
    bool rememberPassword(const QString& password);
    // After the password of phone changed: a password remembered for that
    // phone becomes the new one, so the offered password and the next
    // automatic sign-in work. One remembered for another phone stays.
    bool replaceRememberedPassword(const QString& phone, const QString& password);

    QString filePath() const;
    // The spelling under which key is stored.
    QString storedKey(const QString& key) const;

private:
    template <typename T> friend std::shared_ptr<T>& singletonInstance(bool release);
    CLocalConfig();

    std::shared_ptr<QSettings> m_settings;
    QString m_deviceId;
};
