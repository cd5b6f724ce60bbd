#pragma once

#include "standins/localservice/deployment.h"
#include "standins/localservice/formbody.h"
#include "standins/localservice/signedcalls.h"

#include <QByteArray>
#include <QMap>
#include <QString>

// Checks a signed call with the service's own code: the signature headers, the
// version header the call must carry, the timestamp against the service clock,
// the nonce form, the form fields by name and order, and the HMAC-SHA-256 over
// "POST\n<timestamp>\n<nonce>\n<path>\n<body as signed>".
class SignatureVerifier
{
public:
    struct Verdict
    {
        bool ok = false;
        QString errorCode; // "1100".. "1107", see README
        QString reason;
        bool clockSkew = false; // the answer carries "timeOffest"
        qint64 timeOffset = 0;  // client time minus service time, ms
    };

    // Header names are lower-case.
    using Headers = QMap<QByteArray, QByteArray>;

    SignatureVerifier(const Deployment& deployment, int toleranceSeconds);

    Verdict verify(const SignedCalls::Call& call, const QString& signedPath, const Headers& headers,
                   const QByteArray& body, FormBody& form, qint64 serviceNowMs) const;

    int toleranceSeconds() const { return m_toleranceSeconds; }

    static QByteArray signature(const QByteArray& secret, const QByteArray& stringToSign);

private:
    const Deployment& m_deployment;
    int m_toleranceSeconds;
};
