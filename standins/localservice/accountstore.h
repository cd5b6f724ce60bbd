#pragma once

#include "standins/localservice/answer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVector>

#include <mutex>

// The accounts of the stand-in cloud with their sessions, authorization codes,
// SMS codes and tickets. Accounts are seeded from a JSON file and their changes
// (registrations, passwords, profiles) are kept in "accounts.json" under the
// data directory; everything else lives in memory. All methods are safe to
// call from any server thread and answer with the envelope the client expects.
class AccountStore
{
public:
    // seed: the "companies", "registrationCompanyId" and "accounts" of the
    // seed file. stateFile: where changed accounts are kept ("" keeps nothing).
    void load(const QJsonObject& seed, const QString& stateFile);
    // Back to the seeded accounts; sessions, codes and tickets are dropped.
    void reset();

    Answer authCodeByPassword(const QString& phone, const QString& password);
    Answer sendSmsCode(const QString& phone, const QString& type);
    Answer authCodeBySmsCode(const QString& phone, const QString& code);
    Answer token(const QString& authCode);
    Answer validateToken(const QString& accessToken);
    Answer companyList(const QString& accessToken);
    // origin: "http://host:port" the photo is served from.
    Answer personDetail(const QString& accessToken, const QString& targetAccountId, const QString& origin);
    Answer accessTicket(const QString& accessToken);
    Answer logout(const QString& accessToken);
    Answer preCreateAccount(const QString& phone, const QString& code);
    Answer joinInvitingCompany(const QString& accessToken);
    Answer resetPassword(const QString& accessToken, const QString& newPassword);
    Answer changePassword(const QString& accessToken, const QString& phone, const QString& oldPassword,
                          const QString& newPassword);
    Answer modifyProfile(const QString& accessToken, const QString& personJson);

    // What the print service hands out for the account; empty when it is unknown.
    QJsonObject printData(qint64 accountId) const;

    // Signed-in user behind a web ticket, for the web pages: empty when the
    // ticket is unknown or expired. Holds "id", "name", "phone", "companies".
    QJsonObject userForTicket(const QString& ticket) const;
    QJsonObject userById(qint64 accountId) const;
    QJsonArray members(qint64 companyId) const;

    // Test controls.
    int kick(const QString& phone); // ends the account's sessions (next call: "1209"); returns how many
    QJsonArray accounts() const;
    QJsonArray smsCodes(const QString& phone) const; // newest last
    QString avatarFile(qint64 accountId) const;

private:
    struct Membership
    {
        qint64 companyId = 0;
        bool isDefault = false;
    };
    struct Account
    {
        qint64 id = 0;
        QString phone;
        QString password;
        QString state; // "active", "locked", "smsFirst", "inactive"
        QString name;
        QString avatar;
        QJsonObject profile; // further person fields ("email", "gender", "title", ...)
        QVector<Membership> companies;
        bool pendingInvitation = false;
    };
    struct Session
    {
        qint64 accountId = 0;
        QString refreshToken;
        qint64 expiresMs = 0;
        bool kicked = false;
    };
    struct Expiring
    {
        qint64 accountId = 0;
        qint64 expiresMs = 0;
    };
    struct SmsCode
    {
        QString phone;
        QString type;
        QString code;
        qint64 sentMs = 0;
        qint64 expiresMs = 0;
        bool used = false;
    };

    void resetLocked();
    Account* findByPhone(const QString& phone);
    Account* findById(qint64 id);
    const Account* findById(qint64 id) const;
    // The session's account, or the failure to answer ("1208"/"1209").
    Account* sessionAccount(const QString& accessToken, Answer& failure);
    QString newAuthCode(qint64 accountId);
    bool takeSmsCode(const QString& phone, const QString& type, const QString& code);
    QJsonObject accountJson(const Account& a) const;
    static Account accountFromJson(const QJsonObject& o);
    QJsonObject userJson(const Account& a) const;
    void save() const;

    mutable std::mutex m_mutex;
    QJsonObject m_seed;
    QString m_stateFile;
    QMap<qint64, QString> m_companyNames;
    qint64 m_registrationCompanyId = 0;
    QVector<Account> m_accounts;
    QMap<QString, Session> m_sessions; // access token -> session
    QMap<QString, Expiring> m_authCodes;
    QMap<QString, Expiring> m_tickets;
    QVector<SmsCode> m_smsCodes;
};
