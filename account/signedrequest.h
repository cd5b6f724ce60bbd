#pragma once

#include "account/serviceanswer.h"
#include "core/apiconfig.h"

#include <QCoreApplication>
#include <QList>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QStringList>

// The one way to call the account service: a form-encoded POST signed with the
// HMAC headers, answered by a JSON envelope.
//
//   // asynchronous
//   m_reply = CSignedRequest::post({CApiConfig::UrlCompanyList, CSignedRequest::Form().session(),
//                                   CApiConfig::SignatureVersionB});
//   connect(m_reply, &QNetworkReply::finished, this, &CLoginManager::replyGetComId);
//   ...
//   const CServiceAnswer answer = CSignedRequest::readAnswer(m_reply);
//
//   // synchronous, at most 3000 ms
//   m_reply = CSignedRequest::postAndWait(call, 3000);
//   return replyInvitatedJoin();
class CSignedRequest
{
    Q_DECLARE_TR_FUNCTIONS(CSignedRequest)
public:
    using FormFields = QList<QPair<QString, QString>>;

    // The deployment's application code, sent as "appCode" or, beside the
    // session's token, as "__appcode".
    static QString appCode();

    // A call's form fields in body order, each written where it stands; the
    // fields many calls share are one step each:
    //   Form().field("account", phone).appCode().device().field("type", "PHONECODE_LOGIN")
    class Form
    {
    public:
        Form& field(const QString& name, const QString& value);
        // "__accesstoken" (the signed-in user's access token) and "__appcode".
        Form& session();
        // "appCode".
        Form& appCode();
        // "clientIp" and "deviceId": this computer's address and identity.
        Form& device();
        operator FormFields() const { return m_fields; }

    private:
        FormFields m_fields;
    };

    struct Call
    {
        Call() = default;
        Call(CApiConfig::Slot url, FormFields fields,
             CApiConfig::Slot version = CApiConfig::SignatureVersionA,
             QStringList fullyEncodedFields = QStringList())
            : url(url), fields(std::move(fields)), version(version),
              fullyEncodedFields(std::move(fullyEncodedFields))
        {
        }

        CApiConfig::Slot url = CApiConfig::SlotCount; // none: nothing is sent
        // Name/value pairs in body order, values as they are.
        FormFields fields;
        CApiConfig::Slot version = CApiConfig::SignatureVersionA;
        // Body variant: these values are posted fully percent-encoded (every
        // byte outside A-Z a-z 0-9 - . _ ~), as the password authorization
        // needs for its Base64 credentials. The signature still covers the
        // values as they are.
        QStringList fullyEncodedFields;
    };

    // Everything a call sends, built but not yet posted.
    struct Prepared
    {
        QNetworkRequest request;
        QString nonce;
        QString timestamp;
        QString path;
        QString stringToSign;
        QString signature;
        QByteArray body; // the bytes that are posted
    };

    static constexpr int kTransferTimeoutMs = 30000;

    static Prepared prepare(const Call& call);

    // Posts through the shared network access object; the caller owns the
    // reply (readAnswer disposes of it). Null when there is no URL.
    static QPointer<QNetworkReply> post(const Call& call);

    // post(), then a local event loop until the reply finishes or, when
    // timeLimitMs > 0, that many milliseconds have passed. Events keep being
    // processed meanwhile. The reply may still be unfinished on return.
    static QPointer<QNetworkReply> postAndWait(const Call& call, int timeLimitMs = 0);

    // The wait of postAndWait(), for any reply: a local event loop until reply
    // finishes or is destroyed or, when timeLimitMs > 0, that many milliseconds
    // have passed. Returns at once for a null or finished reply.
    static void waitFor(const QPointer<QNetworkReply>& reply, int timeLimitMs = 0);

    // The common answer handling: reads the whole body, schedules the reply
    // for deletion and forgets it, parses the envelope; on failure, when
    // learnTimeOffset is true, hands the answer to CApiConfig::setTimeOffset.
    static CServiceAnswer readAnswer(QPointer<QNetworkReply>& reply, bool learnTimeOffset = true);
    // The envelope part of readAnswer: an answer body and the transfer's error.
    static CServiceAnswer parseAnswer(const QByteArray& body, QNetworkReply::NetworkError networkError,
                                      bool learnTimeOffset = true);

    // postAndWait() and readAnswer() in one.
    static CServiceAnswer exchange(const Call& call, int timeLimitMs = 0, bool learnTimeOffset = true);

    // The pieces, for the few callers (and tests) that need them alone.
    static QString formBody(const FormFields& fields);
    static QByteArray postedBody(const FormFields& fields,
                                 const QStringList& fullyEncodedFields = QStringList());
    static QString stringToSign(const QString& timestamp, const QString& nonce, const QString& path,
                                const QString& body);
    static QString signature(const QString& stringToSign);
    static void setSignHeaders(QNetworkRequest& request, const QString& timestamp, const QString& version,
                               const QString& nonce, const QString& signature);
    static QString networkErrorText(int code);
};
