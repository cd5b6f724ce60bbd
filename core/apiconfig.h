#pragma once

#include "core/singleton.h"

#include <QJsonObject>
#include <QString>

#include <array>

// The service configuration table: endpoints by role, signing values and the
// server time offset learned from failed answers. The slots are held
// enciphered in the executable and decoded once, at construction.
class CApiConfig
{
    VANTELOR_SINGLETON(CApiConfig)
public:
    enum Slot
    {
        HmacSecret = 0,
        ApiKey = 1,                // "apiKey" header
        AppCode = 2,               // form field "appCode" / "__appcode"
        KeyVersion = 3,            // form field "keyVersion" of password logins
        SignatureVersionA = 4,     // "X-Hmac-Auth-Version"
        SignatureVersionB = 5,     // "X-Hmac-Auth-Version"
        Unused6 = 6,               // the text "25"
        BaseUrl = 7,               // scheme://host[:port]
        UrlAuthCodeByPassword = 8, // slots 8 to 25, 30 and 31 are full URLs
        UrlAccessTicket = 9,
        UrlTokenFromAuthCode = 10,
        UrlValidateToken = 11,
        UrlUnused12 = 12,
        UrlCompanyList = 13,
        UrlUnused14 = 14,
        UrlPersonDetail = 15,
        UrlLogout = 16,
        UrlSendSmsCode = 17,
        UrlAuthCodeBySmsCode = 18,
        UrlPreCreateAccount = 19,
        UrlJoinInvitingCompany = 20,
        UrlResetPassword = 21,
        UrlChangePassword = 22,
        UrlUnused23 = 23,
        UrlUnused24 = 24,
        UrlModifyProfile = 25,
        UrlPrintInfo = 26, // complete URL of the print service
        PrintAppId = 27,   // form field "appId" of the print call
        ContentType = 28,  // Content-Type of signed calls
        Unused29 = 29,
        UrlUnused30 = 30,
        UrlConferenceConfig = 31,
        SlotCount = 32
    };

    QString slot(Slot slot) const;

    // Eleven digits: the (offset-corrected) epoch milliseconds without their
    // last five digits, then a random number from 100 to 999.
    QString nonce() const;
    // The offset-corrected UTC time in ISO 8601 with a "Z", seconds precision.
    QString timestamp() const;

    // Takes over a non-zero "timeOffest" of a service answer (local time minus
    // server time, in milliseconds); true when the offset was replaced.
    bool setTimeOffset(const QJsonObject& answer);
    qint64 timeOffset() const { return m_timeOffset; }

    // Test seam: a fixed clock in epoch milliseconds; 0 returns to the real one.
    static void setCurrentTimeForTesting(qint64 msecsSinceEpoch);

private:
    CApiConfig();
    qint64 correctedNow() const;

    std::array<QString, SlotCount> m_slots;
    qint64 m_timeOffset = 0;
};
