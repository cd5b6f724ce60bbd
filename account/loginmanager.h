#pragma once

#include "core/singleton.h"

#include <QImage>
#include <QJsonValue>
#include <QNetworkReply>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>

class CLoginInfo;
class CPrintBridge;
struct CServiceAnswer;

// Owns the signed-in state: the login sequence (credentials, token,
// validation, company list, person detail), the access ticket and its renewal
// every five minutes, the photo, logout, the end of a sign-in by the service,
// the remembered-password sign-in at start, and the print-driver listener on
// 127.0.0.1:6668 while someone is signed in.
class CLoginManager : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CLoginManager)
public:
    ~CLoginManager() override;

    bool isLoggedIn() const { return m_loggedIn; }
    // A sign-in attempt is in flight (from its start to its signalLogState).
    bool isSigningIn() const { return m_signingIn; }
    // Ends the attempt in flight, if any: its late answers are dropped, it
    // writes nothing more and reports nothing. The sign-in dialog does this
    // when it opens, so the remembered-password sign-in never waits beneath it.
    void cancelSignIn();

    // "未登录" while signed out; the name, or "Guest" when it is empty.
    bool userName(QString& out) const;
    bool userPhoto(QImage& out) const;
    void companyNames(QStringList& out) const;

    // The print-driver bridge, listening while someone is signed in.
    CPrintBridge* printBridge() const { return m_printBridge; }

    static constexpr quint16 kPrintPort = 6668;
    static constexpr int kTicketTickMs = 60000;
    static constexpr int kTicketRenewTicks = 5;
    static constexpr int kPrintFetchLimitMs = 4000;
    // signalLogState's code when the credentials cannot be encrypted; no
    // service answer uses it.
    static constexpr const char* kEncryptionFailedCode = "-2";

    // Test seams: the ticket timer's tick and the print fetch's time limit.
    static void setTicketTickForTesting(int ms);
    static void setPrintFetchLimitForTesting(int ms);

    // The content parsing of the login-sequence answers, into info: the
    // companies (the default one first), the person detail, and the ticket
    // (true when a successful answer carried one). isKickedOut tells from the
    // failure info holds whether the service ended this sign-in.
    static void readCompanies(const QJsonValue& content, CLoginInfo& info);
    static void readPerson(const QJsonValue& content, CLoginInfo& info);
    static bool readTicket(const CServiceAnswer& answer, CLoginInfo& info);
    static bool isKickedOut(const CLoginInfo& info);

signals:
    void signalLogin();
    void signalLogout();
    void signalTicketOK(QString ticket);
    void signalBeLogouted(QString reason);
    void signalLogState(QString errorCode, QString errorMsg);
    void signalUserPhotoChange();

public slots:
    void loginPswd(const QString& phoneNum, const QString& password, bool bPswdNeedEn);
    void loginPswd(const QString& phoneNum, const QString& password);
    void sendVerCode(const QString& phoneNum);
    void loginVer(const QString& phoneNum, const QString& verCode);
    // QR-code sign-in hooks: no behaviour, the pixmap stays as it is.
    void getScanPic(QPixmap& pix);
    void loginScanPic();
    void loginByToken();
    void logout();
    void getAcessTicket();
    void autoLogin();

private slots:
    void replyGetComId();
    void replyGetPerDetail();
    void replyGetTicket();
    void responseError(QNetworkReply::NetworkError code);
    void replyLogout();
    void replySendVerCode();
    void replyUserPhoto();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    CLoginManager();

    // At most one attempt is in flight: a new one ends the one before.
    void beginAttempt();
    // Ends the attempt in flight, if any, leaving the record as it is.
    bool dropAttemptInFlight();
    // After a token call of attempt returned: whether the attempt goes on.
    // It ends silently when a newer attempt, a cancel or another caller of
    // the token manager took over while it waited.
    bool attemptGoesOn(quint64 attempt, bool tokenCallOk);
    // The attempt ends with this outcome.
    void reportAttempt(const QString& errorCode, const QString& errorMsg);
    // Token steps failed or passed; on success the company list follows.
    void continueAfterCredentials(bool credentialsOk);
    void requestCompanyList();
    void requestPersonDetail();
    void endLoginSequence();
    void loadUserPhoto();
    // Posts a call of the current sign-in attempt; its handler learns the
    // attempt from the reply and drops answers of an earlier one.
    void watch(QNetworkReply* reply, void (CLoginManager::*finished)(), bool reportErrors);
    // The reply that finished, null when it belongs to an earlier attempt.
    QPointer<QNetworkReply> finishedReply();

    bool m_loggedIn = false;
    bool m_signingIn = false;
    // Counts sign-in attempts and logouts: answers that arrive after a newer
    // one began are not applied.
    quint64 m_attempt = 0;
    QPointer<QNetworkReply> m_ticketReply;
    int m_ticketTimerId = -1;
    int m_ticketTicks = 0;
    CPrintBridge* m_printBridge = nullptr;
};
