#pragma once

#include "core/singleton.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

// The signed-in user's record, filled by the account managers. Plain data.
class CLoginInfo
{
    VANTELOR_SINGLETON(CLoginInfo)
public:
    // Empties everything except the ticket, which stays until a new one arrives.
    void clear();

    QString authCode;
    QString accessToken;
    QString refreshToken;
    QString validityTime; // decimal text
    QString ticket;
    QString accountId; // decimal text
    QString errorCode; // of the last failed login-sequence call
    QString errorMsg;
    QString phone;    // as the user typed it
    QString account;  // RSA-encrypted, Base64
    QString password; // RSA-encrypted, Base64
    QString name;
    QString avatarUrl;
    QImage photo;
    QString personJson;       // compact JSON
    QStringList companyNames; // the default company first
    QList<qint64> companyIds; // same order as the names
    QString printInfo;

private:
    CLoginInfo() = default;
};
