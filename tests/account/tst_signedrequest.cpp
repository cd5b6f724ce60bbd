#include "account/logininfo.h"
#include "account/signedrequest.h"
#include "core/apiconfig.h"
#include "core/deployment.h"
#include "core/deviceidentity.h"
#include "core/singlenetworkmanger.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"

#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <functional>

namespace {
struct Received
{
    QByteArray method;
    QByteArray path;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    bool signatureOk = false;
    QString signedBody;

    QByteArray header(const QByteArray& name) const
    {
        for (const auto& [key, value] : headers) {
            if (key.compare(name, Qt::CaseInsensitive) == 0) {
                return value;
            }
        }
        return QByteArray();
    }
};

struct Answer
{
    int status = 200;
    QByteArray body;
    bool never = false; // keep the connection open and say nothing
};

// A small HTTP/1.1 server on a free loopback port that checks each request's
// signature with its own code, the way the service does: the string to sign is
// rebuilt from the headers, the path and the body with every value
// percent-decoded.
class SigningServer : public QObject
{
public:
    explicit SigningServer(QByteArray secret) : m_secret(std::move(secret))
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }

    std::function<Answer(const Received&)> answer = [](const Received&) {
        return Answer{200, R"({"success":true,"content":"ok"})", false};
    };
    QList<Received> received;

private:
    void onData(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            return;
        }
        Received request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            request.headers << qMakePair(lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed());
        }
        const int length = request.header("Content-Length").toInt();
        if (buffer.size() < headerEnd + 4 + length) {
            return;
        }
        request.body = buffer.mid(headerEnd + 4, length);
        m_buffers.remove(socket);
        verify(request);
        received << request;

        const Answer answer = this->answer(request);
        if (answer.never) {
            return;
        }
        socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + " Status\r\n" +
                      "Content-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n\r\n" + answer.body);
        socket->disconnectFromHost();
    }

    void verify(Received& request) const
    {
        QByteArrayList pairs;
        for (const QByteArray& pair : request.body.split('&')) {
            const int equals = pair.indexOf('=');
            pairs << pair.left(equals + 1) + QByteArray::fromPercentEncoding(pair.mid(equals + 1));
        }
        request.signedBody = QString::fromUtf8(pairs.join('&'));
        const QByteArray text = "POST\n" + request.header("X-Hmac-Auth-Timestamp") + "\n" +
                                request.header("X-Hmac-Auth-Nonce") + "\n" + request.path + "\n" +
                                request.signedBody.toUtf8();
        const QByteArray expected =
            QMessageAuthenticationCode::hash(text, m_secret, QCryptographicHash::Sha256).toBase64();
        request.signatureOk = request.method == "POST" && expected == request.header("X-Hmac-Auth-Signature");
    }

    QTcpServer m_server;
    QByteArray m_secret;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

QJsonObject localService()
{
    return TestDeployment::local().value("service").toObject();
}
} // namespace

Q_DECLARE_METATYPE(CSignedRequest::FormFields)
Q_DECLARE_METATYPE(CApiConfig::Slot)
Q_DECLARE_METATYPE(CServiceAnswer::Take)

// The one signed call, end to end against a server that checks it, and the
// one answer parser.
class TestSignedRequest : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void init()
    {
        m_server = std::make_unique<SigningServer>(localService().value("hmacSecret").toString().toUtf8());
        QVERIFY(m_server->listen());
        QVERIFY(TestDeployment::useLocalService(m_server->port()));
        TestDeployment::useFixedDeviceIdentity();
    }
    void cleanup()
    {
        CApiConfig::setCurrentTimeForTesting(0);
        CSingleNetworkManger::instance(true);
        m_server.reset();
    }

    void signedPostReachesTheServer_data()
    {
        QTest::addColumn<CApiConfig::Slot>("url");
        QTest::addColumn<CSignedRequest::FormFields>("fields");
        QTest::addColumn<CApiConfig::Slot>("version");
        QTest::addColumn<QStringList>("fullyEncoded");
        QTest::addColumn<QByteArray>("posted");

        QTest::newRow("token call, version A")
            << CApiConfig::UrlTokenFromAuthCode
            << CSignedRequest::FormFields{{"appCode", "vantelor-pc"},
                                          {"authCode", "a1b2"},
                                          {"clientIp", "192.168.1.20"},
                                          {"deviceId", "3C:7C:3F:12:34:56"}}
            << CApiConfig::SignatureVersionA << QStringList()
            << QByteArray(
                   "appCode=vantelor-pc&authCode=a1b2&clientIp=192.168.1.20&deviceId=3C:7C:3F:12:34:56");
        QTest::newRow("company list, version B")
            << CApiConfig::UrlCompanyList
            << CSignedRequest::FormFields{{"__accesstoken", "tok"}, {"__appcode", "vantelor-pc"}}
            << CApiConfig::SignatureVersionB << QStringList()
            << QByteArray("__accesstoken=tok&__appcode=vantelor-pc");
        QTest::newRow("fixed pair and non-ASCII value")
            << CApiConfig::UrlSendSmsCode
            << CSignedRequest::FormFields{{"account", "13812345678"},
                                          {"name", "张三 / O'Brien"},
                                          {"type", "PHONECODE_LOGIN"}}
            << CApiConfig::SignatureVersionA << QStringList()
            << QByteArray("account=13812345678&name=") + QString("张三 / O'Brien").toUtf8() +
                   "&type=PHONECODE_LOGIN";
        QTest::newRow("separators inside values")
            << CApiConfig::UrlChangePassword
            << CSignedRequest::FormFields{{"newPassword", "a&b=c+d%e"}, {"oldPassword", "100%"}}
            << CApiConfig::SignatureVersionA << QStringList()
            << QByteArray("newPassword=a%26b%3Dc%2Bd%25e&oldPassword=100%25");
        QTest::newRow("profile JSON")
            << CApiConfig::UrlModifyProfile
            << CSignedRequest::FormFields{{"personJson", R"({"name":"A&B","note":"x=1+1"})"}}
            << CApiConfig::SignatureVersionB << QStringList()
            << QByteArray(R"(personJson={"name":"A%26B","note":"x%3D1%2B1"})");
        QTest::newRow("password call posts its credentials fully encoded")
            << CApiConfig::UrlAuthCodeByPassword
            << CSignedRequest::FormFields{{"account", "ab+/c=="},
                                          {"appCode", "vantelor-pc"},
                                          {"keyVersion", "1"},
                                          {"password", "x/y+z="}}
            << CApiConfig::SignatureVersionA << QStringList{"account", "password"}
            << QByteArray("account=ab%2B%2Fc%3D%3D&appCode=vantelor-pc&keyVersion=1&password=x%2Fy%2Bz%3D");
    }
    void signedPostReachesTheServer()
    {
        QFETCH(CApiConfig::Slot, url);
        QFETCH(CSignedRequest::FormFields, fields);
        QFETCH(CApiConfig::Slot, version);
        QFETCH(QStringList, fullyEncoded);
        QFETCH(QByteArray, posted);

        const CServiceAnswer answer = CSignedRequest::exchange({url, fields, version, fullyEncoded});
        QVERIFY(answer.success);
        QCOMPARE(m_server->received.size(), 1);
        const Received& request = m_server->received.first();
        QVERIFY(request.signatureOk);
        QCOMPARE(request.body, posted);
        QCOMPARE(request.signedBody, CSignedRequest::formBody(fields));
        QCOMPARE(QString::fromUtf8(request.path),
                 CApiConfig::instance()->slot(url).remove(CApiConfig::instance()->slot(CApiConfig::BaseUrl)));

        const QList<QByteArray> ours = {
            "X-Hmac-Auth-IP", "X-Hmac-Auth-Timestamp", "X-Hmac-Auth-Version", "X-Hmac-Auth-Nonce",
            "apiKey",         "X-Hmac-Auth-Signature", "X-Hmac-Auth-MAC",     "Content-Type"};
        QList<QByteArray> order;
        for (const auto& header : request.headers) {
            for (const QByteArray& name : ours) {
                if (header.first.compare(name, Qt::CaseInsensitive) == 0) {
                    order << name;
                }
            }
        }
        QCOMPARE(order, ours);
        QCOMPARE(request.header("X-Hmac-Auth-IP"), QByteArray("192.168.1.20"));
        QCOMPARE(request.header("X-Hmac-Auth-MAC"), QByteArray("3C:7C:3F:12:34:56"));
        QCOMPARE(
            request.header("X-Hmac-Auth-Version"),
            localService()
                .value(version == CApiConfig::SignatureVersionA ? "signatureVersionA" : "signatureVersionB")
                .toString()
                .toUtf8());
        QCOMPARE(request.header("apiKey"), localService().value("apiKey").toString().toUtf8());
        QCOMPARE(request.header("Content-Type"), localService().value("contentType").toString().toUtf8());
    }

    void signatureMatchesOpensslCommandLine()
    {
        const QString text = CSignedRequest::stringToSign(
            "2020-09-13T12:26:40Z", "16000000523", "/api/auth/token",
            "appCode=vantelor-pc&authCode=a1b2&clientIp=192.168.1.20&deviceId=3C:7C:3F:12:34:56");
        QCOMPARE(text,
                 QString("POST\n2020-09-13T12:26:40Z\n16000000523\n/api/auth/token\nappCode=vantelor-pc&"
                         "authCode=a1b2&clientIp=192.168.1.20&deviceId=3C:7C:3F:12:34:56"));
        const QByteArray mac = TestDeployment::openssl(
            {"dgst", "-sha256", "-hmac", localService().value("hmacSecret").toString(), "-binary"},
            text.toUtf8());
        QCOMPARE(mac.size(), 32);
        QCOMPARE(CSignedRequest::signature(text), QString::fromLatin1(mac.toBase64()));
    }

    void preparedCallUsesTheClockAndATransferTimeout()
    {
        CApiConfig::setCurrentTimeForTesting(1600000000123);
        const CSignedRequest::Prepared prepared =
            CSignedRequest::prepare({CApiConfig::UrlValidateToken, {{"accessToken", "t"}, {"appCode", "c"}}});
        QCOMPARE(prepared.timestamp, QString("2020-09-13T12:26:40Z"));
        QVERIFY(prepared.nonce.startsWith("16000000"));
        QCOMPARE(prepared.path, localService().value("paths").toObject().value("validateToken").toString());
        QCOMPARE(prepared.stringToSign, "POST\n2020-09-13T12:26:40Z\n" + prepared.nonce + "\n" +
                                            prepared.path + "\naccessToken=t&appCode=c");
        QCOMPARE(prepared.request.transferTimeout(), CSignedRequest::kTransferTimeoutMs);
        QCOMPARE(CSignedRequest::kTransferTimeoutMs, 30000);
    }

    void answerEnvelope_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QJsonValue>("content");
        QTest::addColumn<QString>("errorCode");
        QTest::addColumn<QString>("errorMsg"); // what the caller holds afterwards
        QTest::addColumn<qint64>("offset");

        const QString network = QString::fromUtf8("网络异常或本机时间不正确,错误码:%1");
        QTest::newRow("success, text") << 200 << QByteArray(R"({"success":true,"content":"code-1"})") << true
                                       << QJsonValue("code-1") << "old"
                                       << "previous" << qint64(0);
        QTest::newRow("success, object")
            << 200 << QByteArray(R"({"success":true,"content":{"id":7},"timeOffest":60000})") << true
            << QJsonValue(QJsonObject{{"id", 7}}) << "old"
            << "previous" << qint64(0);
        QTest::newRow("failure")
            << 200 << QByteArray(R"({"success":false,"errorCode":"1209","errorMsg":"accessToken被踢出"})")
            << false << QJsonValue() << "1209" << QString::fromUtf8("accessToken被踢出") << qint64(0);
        QTest::newRow("failure without text keeps the caller's")
            << 200 << QByteArray(R"({"success":false})") << false << QJsonValue() << ""
            << "previous" << qint64(0);
        QTest::newRow("failure with clock offset")
            << 200
            << QByteArray(R"({"success":false,"errorCode":"401","errorMsg":"时间戳过期","timeOffest":60000})")
            << false << QJsonValue() << "401" << QString::fromUtf8("时间戳过期") << qint64(60000);
        QTest::newRow("failure with zero offset")
            << 200 << QByteArray(R"({"success":false,"errorCode":"2","timeOffest":0})") << false
            << QJsonValue() << "2"
            << "previous" << qint64(0);
        QTest::newRow("not JSON") << 200 << QByteArray("<html>gateway</html>") << false << QJsonValue() << ""
                                  << "previous" << qint64(0);
        QTest::newRow("HTTP error without body")
            << 503 << QByteArray() << false << QJsonValue() << ""
            << network.arg(QNetworkReply::ServiceUnavailableError) << qint64(0);
        QTest::newRow("HTTP error with envelope")
            << 500 << QByteArray(R"({"success":false,"errorCode":"9","errorMsg":"内部错误"})") << false
            << QJsonValue() << "9" << QString::fromUtf8("内部错误") << qint64(0);
    }
    void answerEnvelope()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, success);
        QFETCH(QJsonValue, content);
        QFETCH(QString, errorCode);
        QFETCH(QString, errorMsg);
        QFETCH(qint64, offset);
        m_server->answer = [&](const Received&) { return Answer{status, body, false}; };

        QPointer<QNetworkReply> reply =
            CSignedRequest::postAndWait({CApiConfig::UrlValidateToken, {{"a", "b"}}});
        QVERIFY(reply);
        QPointer<QNetworkReply> watched = reply;
        const CServiceAnswer answer = CSignedRequest::readAnswer(reply);
        QVERIFY(!reply);
        QTRY_VERIFY(!watched); // scheduled for deletion
        QVERIFY(answer.received);
        QCOMPARE(answer.success, success);
        if (success) {
            QCOMPARE(answer.content, content);
        }
        QCOMPARE(answer.timeOffsetChanged, offset != 0);
        QCOMPARE(CApiConfig::instance()->timeOffset(), offset);
        QString callerCode = "old";
        QString callerMsg = "previous";
        answer.applyErrorTo(callerCode, callerMsg);
        QCOMPARE(callerCode, errorCode);
        QCOMPARE(callerMsg, errorMsg);
    }

    void refusedConnectionGivesTheNetworkText()
    {
        const quint16 closedPort = m_server->port();
        m_server.reset();
        QVERIFY(TestDeployment::useLocalService(closedPort));
        const CServiceAnswer answer = CSignedRequest::exchange({CApiConfig::UrlLogout, {{"a", "b"}}});
        QVERIFY(answer.received && !answer.success);
        QCOMPARE(answer.networkError, QNetworkReply::ConnectionRefusedError);
        QCOMPARE(answer.errorMsg, QString::fromUtf8("网络异常或本机时间不正确,错误码:1"));
        QCOMPARE(answer.errorCode, QString());
    }

    void timeLimitEndsTheWait()
    {
        m_server->answer = [](const Received&) { return Answer{200, QByteArray(), true}; };
        const CServiceAnswer answer =
            CSignedRequest::exchange({CApiConfig::UrlJoinInvitingCompany, {{"a", "b"}}}, 300);
        QCOMPARE(m_server->received.size(), 1);
        QVERIFY(answer.received);
        QVERIFY(answer.unfinished);
        QVERIFY(!answer.success);
        QString callerCode = "old";
        QString callerMsg = "previous";
        answer.applyErrorTo(callerCode, callerMsg);
        QCOMPARE(callerMsg, QString("previous"));
    }

    void asynchronousCallFinishesLater()
    {
        QPointer<QNetworkReply> reply =
            CSignedRequest::post({CApiConfig::UrlAccessTicket, {{"accessToken", "t"}}});
        QVERIFY(reply);
        QVERIFY(!reply->isFinished());
        QSignalSpy finished(reply.data(), &QNetworkReply::finished);
        QVERIFY(finished.wait(10000));
        const CServiceAnswer answer = CSignedRequest::readAnswer(reply);
        QVERIFY(answer.success);
        QCOMPARE(answer.content.toString(), QString("ok"));
        QVERIFY(m_server->received.first().signatureOk);
    }

    // The retry of a clock-skew failure signs with the corrected clock.
    void learnedOffsetCorrectsTheNextCall()
    {
        CApiConfig::setCurrentTimeForTesting(1600000000123);
        m_server->answer = [](const Received& request) {
            return request.header("X-Hmac-Auth-Timestamp") == "2020-09-13T12:26:40Z"
                       ? Answer{200, R"({"success":false,"errorCode":"401","timeOffest":60000})", false}
                       : Answer{200, R"({"success":true,"content":"code"})", false};
        };
        const CSignedRequest::Call call{CApiConfig::UrlAuthCodeBySmsCode, {{"account", "13812345678"}}};
        const CServiceAnswer first = CSignedRequest::exchange(call);
        QVERIFY(!first.success && first.timeOffsetChanged);
        const CServiceAnswer second = CSignedRequest::exchange(call);
        QVERIFY(second.success);
        QCOMPARE(m_server->received.size(), 2);
        QCOMPARE(m_server->received[1].header("X-Hmac-Auth-Timestamp"), QByteArray("2020-09-13T12:25:40Z"));
        QVERIFY(m_server->received[1].header("X-Hmac-Auth-Nonce").startsWith("15999999"));
        QVERIFY(m_server->received[1].signatureOk);
    }

    void nothingToReadWithoutAReply()
    {
        QPointer<QNetworkReply> none;
        const CServiceAnswer answer = CSignedRequest::readAnswer(none);
        QVERIFY(!answer.received);
        QString code = "old";
        QString message = "previous";
        answer.applyErrorTo(code, message);
        QCOMPARE(code, QString("old"));
        QCOMPARE(message, QString("previous"));
        // An unused slot has no URL: nothing is sent.
        QVERIFY(!CSignedRequest::post({CApiConfig::UrlUnused12, {{"a", "b"}}}));
        QCOMPARE(m_server->received.size(), 0);
    }

    void formWritesTheSharedFieldsWhereTheyStand()
    {
        CLoginInfo::instance()->accessToken = "tok";
        const CSignedRequest::FormFields fields = CSignedRequest::Form()
                                                      .session()
                                                      .field("account", "13812345678")
                                                      .appCode()
                                                      .device()
                                                      .field("type", "PHONECODE_LOGIN");
        CLoginInfo::instance(true);
        QCOMPARE(CSignedRequest::appCode(), QString("vantelor-pc"));
        const CSignedRequest::FormFields expected{
            {"__accesstoken", "tok"},   {"__appcode", "vantelor-pc"}, {"account", "13812345678"},
            {"appCode", "vantelor-pc"}, {"clientIp", "192.168.1.20"}, {"deviceId", "3C:7C:3F:12:34:56"},
            {"type", "PHONECODE_LOGIN"}};
        QCOMPARE(fields, expected);
    }

    void errorPairTaken_data()
    {
        QTest::addColumn<bool>("received");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("answerMsg");
        QTest::addColumn<CServiceAnswer::Take>("take");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("msg");
        using Take = CServiceAnswer::Take;
        QTest::newRow("failure with a text") << true << false << "锁定" << Take::Failure << "1012"
                                             << "锁定";
        QTest::newRow("failure without a text keeps the caller's")
            << true << false << "" << Take::Failure << "1012"
            << "previous";
        QTest::newRow("success leaves both") << true << true << "" << Take::Failure << "old"
                                             << "previous";
        QTest::newRow("as it came: an empty text too") << true << false << "" << Take::AsItCame << "1012"
                                                       << "";
        QTest::newRow("as it came: whatever success said") << true << true << "" << Take::AsItCame << "1012"
                                                           << "";
        QTest::newRow("nothing received") << false << false << "" << Take::AsItCame << "old"
                                          << "previous";
    }
    void errorPairTaken()
    {
        QFETCH(bool, received);
        QFETCH(bool, success);
        QFETCH(QString, answerMsg);
        QFETCH(CServiceAnswer::Take, take);
        CServiceAnswer answer;
        answer.received = received;
        answer.success = success;
        answer.errorCode = "1012";
        answer.errorMsg = answerMsg;
        QString code = "old";
        QString msg = "previous";
        answer.applyErrorTo(code, msg, take);
        QTEST(code, "code");
        QTEST(msg, "msg");
    }

    void bodyWithoutSeparatorsIsPostedAsSigned()
    {
        const CSignedRequest::FormFields fields = {
            {"account", "13812345678"}, {"type", "ACCOUNT_CREATE"}, {"name", "李四 ~!@#$^*()[]{}"}};
        QCOMPARE(CSignedRequest::postedBody(fields), CSignedRequest::formBody(fields).toUtf8());
    }

private:
    std::unique_ptr<SigningServer> m_server;
};

QTEST_GUILESS_MAIN(TestSignedRequest)
#include "tst_signedrequest.moc"
