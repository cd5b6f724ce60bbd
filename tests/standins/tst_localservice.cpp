#include "support/localserviceprocess.h"
#include "support/testenvironment.h"
#include "testsigner.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QtTest>

// The real local service over loopback, driven by the test's own signer.
class TestLocalService : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private:
    enum SignFault
    {
        WrongSignature,
        FieldOutOfOrder,
        WrongVersion,
        StaleTimestamp,
        AheadTimestamp,
        MissingHeader,
        WrongApiKey,
        BadNonce,
        NonceOffTime,
        MalformedForm,
        BadEscape,
        MissingField,
        WrongAppCode,
        DeviceMismatch
    };

    const QString m_deployment = QStringLiteral(VANTELOR_SOURCE_DIR "/config/local.json");
    LocalServiceProcess m_service;
    TestSigner m_signer{m_deployment};

    TestSigner::Result call(const QString& role, const TestSigner::Fields& fields,
                            const TestSigner::Tweaks& tweaks = TestSigner::Tweaks())
    {
        return m_signer.post(m_service.origin(), role, fields, tweaks);
    }

    TestSigner::Fields withDevice(TestSigner::Fields head, const TestSigner::Fields& tail = {})
    {
        return head + m_signer.device() + tail;
    }

    TestSigner::Result passwordAuthCode(const QString& phone, const QString& password)
    {
        return call(
            "authCodeByPassword",
            withDevice({{"account", m_signer.rsaBase64(phone)}, {"appCode", m_signer.appCode()}},
                       {{"keyVersion", m_signer.keyVersion()}, {"password", m_signer.rsaBase64(password)}}));
    }

    // Authorization code -> token, as the client does; "" on failure.
    QString tokenFor(const QString& authCode)
    {
        const TestSigner::Result token =
            call("tokenFromAuthCode", withDevice({{"appCode", m_signer.appCode()}, {"authCode", authCode}}));
        return token.answer.value("content").toObject().value("accessToken").toString();
    }

    QString signIn(const QString& phone, const QString& password)
    {
        const TestSigner::Result code = passwordAuthCode(phone, password);
        return code.answer.value("success").toBool() ? tokenFor(code.answer.value("content").toString())
                                                     : QString();
    }

    TestSigner::Result ticket(const QString& accessToken)
    {
        return call("accessTicket",
                    withDevice({{"accessToken", accessToken}, {"appCode", m_signer.appCode()}}));
    }

    TestSigner::Result validate(const QString& accessToken)
    {
        return call("validateToken",
                    withDevice({{"accessToken", accessToken}, {"appCode", m_signer.appCode()}}));
    }

    TestSigner::Fields tokenFields(const QString& accessToken)
    {
        return {{"__accesstoken", accessToken}, {"__appcode", m_signer.appCode()}};
    }

    TestSigner::Result sendSmsCode(const QString& phone, const QString& type)
    {
        return call("sendSmsCode",
                    withDevice({{"account", phone}, {"appCode", m_signer.appCode()}}, {{"type", type}}));
    }

    static QString failure(const TestSigner::Result& r)
    {
        return r.answer.value("errorCode").toString() + " " + r.answer.value("errorMsg").toString();
    }

private slots:
    void initTestCase() { QVERIFY(m_service.start()); }

    void init() { QVERIFY(m_service.reset()); }

    void listensOnLoopbackOnly()
    {
        QVERIFY(m_service.port() > 0);
        // /proc/net/tcp lists the listening socket with its local address in hex.
        QFile tcp("/proc/net/tcp");
        QVERIFY(tcp.open(QIODevice::ReadOnly));
        const QString port = QString("%1").arg(m_service.port(), 4, 16, QChar('0')).toUpper();
        const QString all = QString::fromLatin1(tcp.readAll());
        QVERIFY2(all.contains("0100007F:" + port + " 00000000:0000 0A"), qPrintable(all));
        QVERIFY(!all.contains("00000000:" + port + " 00000000:0000 0A"));
    }

    void clientDeploymentPointsAtThisService()
    {
        QFile file(m_service.clientDeploymentFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(root.value("service").toObject().value("baseUrl").toString(), m_service.origin());
        QCOMPARE(root.value("service").toObject().value("printInfoUrl").toString(),
                 m_service.origin() + "/print/online/info");
        QCOMPARE(root.value("weather").toObject().value("weatherOrigin").toString(), m_service.origin());
        QCOMPARE(root.value("network").toObject().value("pingProgram").toString(), QString("vantelor-ping"));
    }

    void demoSignInAcceptsIndependentlySignedCalls()
    {
        const TestSigner::Result code =
            passwordAuthCode(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QVERIFY2(code.answer.value("success").toBool(), code.body.constData());
        const QString authCode = code.answer.value("content").toString();
        QVERIFY(!authCode.isEmpty());

        const TestSigner::Result token =
            call("tokenFromAuthCode", withDevice({{"appCode", m_signer.appCode()}, {"authCode", authCode}}));
        QVERIFY2(token.answer.value("success").toBool(), token.body.constData());
        const QJsonObject tokenContent = token.answer.value("content").toObject();
        const QString accessToken = tokenContent.value("accessToken").toString();
        QVERIFY(!accessToken.isEmpty());
        QVERIFY(!tokenContent.value("refreshToken").toString().isEmpty());
        QCOMPARE(tokenContent.value("validityTime").toInt(), 7200);
        // An authorization code is good for one token only.
        QCOMPARE(
            call("tokenFromAuthCode", withDevice({{"appCode", m_signer.appCode()}, {"authCode", authCode}}))
                .answer.value("errorCode")
                .toString(),
            QString("1204"));

        const TestSigner::Result validated = validate(accessToken);
        QCOMPARE(validated.answer.value("content").toObject().value("id").toInt(), 10001);

        const TestSigner::Result companies = call("companyList", tokenFields(accessToken));
        const QJsonArray list = companies.answer.value("content").toArray();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(1).toObject().value("isDefault").toBool(), true);
        QCOMPARE(list.at(1).toObject().value("companyId").toInt(), 1002);
        QVERIFY(!list.at(0).toObject().value("name").toString().isEmpty());

        const TestSigner::Result person =
            call("personDetail", tokenFields(accessToken) + TestSigner::Fields{{"targetAccountId", "10001"}});
        const QJsonObject content = person.answer.value("content").toObject();
        QCOMPARE(content.value("name").toString(), QString("林晓雨"));
        const QString avatarUrl = content.value("avatarUrl").toString();
        QCOMPARE(avatarUrl, m_service.origin() + "/static/avatar/10001.png");
        const TestSigner::Result photo = TestSigner::get(avatarUrl);
        QCOMPARE(photo.status, 200);
        QVERIFY(!QImage::fromData(photo.body, "PNG").isNull());

        const TestSigner::Result first = ticket(accessToken);
        QVERIFY(!first.answer.value("content").toString().isEmpty());
        QVERIFY(ticket(accessToken).answer.value("content").toString() !=
                first.answer.value("content").toString());

        const QJsonArray recorded = m_service.requests("companyList");
        QCOMPARE(recorded.size(), 1);
        QCOMPARE(recorded.at(0).toObject().value("outcome").toString(), QString("accepted"));
        QCOMPARE(
            recorded.at(0).toObject().value("headers").toObject().value("x-hmac-auth-version").toString(),
            QString("HMAC-SHA256-B1"));

        QVERIFY(call("logout", withDevice({{"accessToken", accessToken}, {"appCode", m_signer.appCode()}}))
                    .answer.value("success")
                    .toBool());
        QCOMPARE(ticket(accessToken).answer.value("errorCode").toString(), QString("1208"));
    }

    void badlySignedCallsAreRefusedWithTheirReason_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("errorCode");
        QTest::addColumn<QString>("reason");
        QTest::newRow("wrong signature") << "validateToken" << int(WrongSignature) << "1106"
                                         << "signature mismatch";
        QTest::newRow("field out of order")
            << "validateToken" << int(FieldOutOfOrder) << "1105"
            << "field out of order: expected \"accessToken\" at position 1, got \"appCode\"";
        QTest::newRow("version A where B is due") << "companyList" << int(WrongVersion) << "1102"
                                                  << "wrong version header: companyList must carry "
                                                     "HMAC-SHA256-B1 (signatureVersionB)";
        QTest::newRow("version B where A is due")
            << "conferenceConfig" << int(WrongVersion) << "1102"
            << "conferenceConfig must carry HMAC-SHA256-A1 (signatureVersionA)";
        QTest::newRow("stale timestamp") << "validateToken" << int(StaleTimestamp) << "1103"
                                         << "s behind the service (tolerance 300 s)";
        QTest::newRow("timestamp ahead") << "validateToken" << int(AheadTimestamp) << "1103"
                                         << "s ahead of the service (tolerance 300 s)";
        QTest::newRow("missing nonce header") << "validateToken" << int(MissingHeader) << "1100"
                                              << "missing header X-Hmac-Auth-Nonce";
        QTest::newRow("wrong apiKey") << "validateToken" << int(WrongApiKey) << "1101"
                                      << "wrong apiKey header";
        QTest::newRow("nonce form") << "validateToken" << int(BadNonce) << "1104"
                                    << "bad nonce form";
        QTest::newRow("nonce time") << "validateToken" << int(NonceOffTime) << "1104"
                                    << "its time part does not match the timestamp";
        QTest::newRow("pair without =") << "validateToken" << int(MalformedForm) << "1105"
                                        << "malformed form: pair 2 has no \"=\"";
        QTest::newRow("bad escape") << "validateToken" << int(BadEscape) << "1105"
                                    << "bad percent-escape in field \"accessToken\"";
        QTest::newRow("missing field") << "validateToken" << int(MissingField) << "1105"
                                       << "missing field \"deviceId\" at position 4";
        QTest::newRow("wrong appCode") << "validateToken" << int(WrongAppCode) << "1105"
                                       << "wrong appCode";
        QTest::newRow("deviceId differs from MAC header") << "validateToken" << int(DeviceMismatch) << "1105"
                                                          << "does not match the X-Hmac-Auth-MAC header";
    }

    void badlySignedCallsAreRefusedWithTheirReason()
    {
        QFETCH(QString, role);
        QFETCH(int, fault);
        QFETCH(QString, errorCode);
        QFETCH(QString, reason);
        TestSigner::Fields fields;
        if (role == "companyList") {
            fields = tokenFields("x");
        } else if (role == "conferenceConfig") {
            fields = {{"configKey", "vcAppConfig"}};
        } else {
            fields = withDevice({{"accessToken", "x"}, {"appCode", m_signer.appCode()}});
        }
        TestSigner::Tweaks tweaks;
        switch (SignFault(fault)) {
        case WrongSignature:
            tweaks.signature = QByteArray(44, 'A');
            break;
        case FieldOutOfOrder:
            fields.swapItemsAt(0, 1);
            break;
        case WrongVersion:
            tweaks.version = role == "companyList" ? "HMAC-SHA256-A1" : "HMAC-SHA256-B1";
            break;
        case StaleTimestamp:
            tweaks.clockShiftMs = -600000;
            break;
        case AheadTimestamp:
            tweaks.clockShiftMs = 600000;
            break;
        case MissingHeader:
            tweaks.omitHeader = "X-Hmac-Auth-Nonce";
            break;
        case WrongApiKey:
            tweaks.apiKey = "someone-else";
            break;
        case BadNonce:
            tweaks.nonce = "16000000099";
            break;
        case NonceOffTime:
            tweaks.nonce = "1000523";
            break;
        case MalformedForm:
            tweaks.postedBodySet = true;
            tweaks.postedBody = "accessToken=x&appCode&clientIp=1&deviceId=2";
            break;
        case BadEscape:
            tweaks.postedBodySet = true;
            tweaks.postedBody = "accessToken=%zz&appCode=a&clientIp=1&deviceId=2";
            break;
        case MissingField:
            fields.removeLast();
            break;
        case WrongAppCode:
            fields[1].second = "another-app";
            break;
        case DeviceMismatch:
            fields[3].second = "aa:bb:cc:dd:ee:ff";
            break;
        }
        const TestSigner::Result r = call(role, fields, tweaks);
        QCOMPARE(r.status, 200);
        QCOMPARE(r.answer.value("success").toBool(), false);
        QCOMPARE(r.answer.value("errorCode").toString(), errorCode);
        QVERIFY2(r.answer.value("errorMsg").toString().contains(reason), r.body.constData());
        QCOMPARE(r.answer.contains("timeOffest"), fault == StaleTimestamp || fault == AheadTimestamp);
        if (r.answer.contains("timeOffest")) {
            const qint64 offset = qint64(r.answer.value("timeOffest").toDouble());
            QVERIFY2(qAbs(offset - (fault == StaleTimestamp ? -600000 : 600000)) < 3000, r.body.constData());
        }
        const QJsonArray recorded = m_service.requests(role);
        QCOMPARE(recorded.size(), 1);
        QVERIFY(recorded.at(0).toObject().value("outcome").toString().startsWith("refused: "));
        QVERIFY(m_service.log().contains("refused " + role + ": "));
    }

    void serviceClockSkewIsReportedAndCorrectable()
    {
        // The service runs 10 minutes ahead: the client's call carries a
        // clock 10 minutes behind, and the answer says by how much.
        QVERIFY(m_service.setClockSkew(600000));
        const TestSigner::Result first =
            passwordAuthCode(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QCOMPARE(first.answer.value("errorCode").toString(), QString("1103"));
        const qint64 offset = qint64(first.answer.value("timeOffest").toDouble());
        QVERIFY2(qAbs(offset + 600000) < 3000, first.body.constData());
        // Signing with local time minus the offset is accepted.
        TestSigner::Tweaks corrected;
        corrected.clockShiftMs = -offset;
        const TestSigner::Result retried =
            call("authCodeByPassword",
                 withDevice({{"account", m_signer.rsaBase64(LocalServiceProcess::demoPhone)},
                             {"appCode", m_signer.appCode()}},
                            {{"keyVersion", m_signer.keyVersion()},
                             {"password", m_signer.rsaBase64(LocalServiceProcess::password)}}),
                 corrected);
        QVERIFY2(retried.answer.value("success").toBool(), retried.body.constData());
    }

    void signInOutcomes_data()
    {
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("errorCode");
        QTest::addColumn<QString>("errorMsg");
        QTest::newRow("wrong password") << LocalServiceProcess::demoPhone << "wrong-pass"
                                        << "1200"
                                        << "手机号或密码错误";
        QTest::newRow("locked") << LocalServiceProcess::lockedPhone << LocalServiceProcess::password << "1012"
                                << "当前账号已被锁定";
        QTest::newRow("SMS code first")
            << LocalServiceProcess::smsFirstPhone << LocalServiceProcess::password << "1201"
            << "请先使用验证码登录";
        QTest::newRow("unknown") << "13911112222" << LocalServiceProcess::password << "1001"
                                 << "账号不存在或未激活";
        QTest::newRow("not activated")
            << LocalServiceProcess::inactivePhone << LocalServiceProcess::password << "1001"
            << "账号不存在或未激活";
        QTest::newRow("empty name signs in")
            << LocalServiceProcess::unnamedPhone << LocalServiceProcess::password << ""
            << "";
    }

    void signInOutcomes()
    {
        QFETCH(QString, phone);
        QFETCH(QString, password);
        QFETCH(QString, errorCode);
        QFETCH(QString, errorMsg);
        const TestSigner::Result r = passwordAuthCode(phone, password);
        QCOMPARE(r.answer.value("success").toBool(), errorCode.isEmpty());
        QCOMPARE(r.answer.value("errorCode").toString(), errorCode);
        QCOMPARE(r.answer.value("errorMsg").toString(), errorMsg);
    }

    void credentialsThatDoNotDecryptAreRefused()
    {
        const TestSigner::Result r =
            call("authCodeByPassword",
                 withDevice(
                     {{"account", "bm90IGVuY3J5cHRlZA=="}, {"appCode", m_signer.appCode()}},
                     {{"keyVersion", m_signer.keyVersion()}, {"password", m_signer.rsaBase64("demo1234")}}));
        QCOMPARE(failure(r), QString("1300 账号或密码无法解密"));
    }

    void smsCodeSignInGoesThroughTheLogAndTheCodeFile()
    {
        const QString phone = LocalServiceProcess::smsFirstPhone;
        QVERIFY(sendSmsCode(phone, "PHONECODE_LOGIN").answer.value("success").toBool());
        const QString code = m_service.latestSmsCode(phone);
        QVERIFY(QRegularExpression("^[0-9]{6}$").match(code).hasMatch());
        QVERIFY(m_service.log().contains(QString("SMS code for %1 (PHONECODE_LOGIN): %2").arg(phone, code)));
        QFile file(m_service.dataDirectory() + "/sms-codes.txt");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(QString(" %1 PHONECODE_LOGIN %2\n").arg(phone, code).toUtf8()));

        const auto bySms = [&](const QString& given) {
            return call("authCodeBySmsCode", withDevice({{"account", phone}, {"appCode", m_signer.appCode()}},
                                                        {{"phoneCode", given}, {"type", "PHONECODE_LOGIN"}}));
        };
        const QString wrong = code == "111111" ? "222222" : "111111";
        QCOMPARE(failure(bySms(wrong)), QString("1202 登录验证失败"));
        const TestSigner::Result ok = bySms(code);
        QVERIFY2(ok.answer.value("success").toBool(), ok.body.constData());
        QVERIFY(!tokenFor(ok.answer.value("content").toString()).isEmpty());
        // A code counts once; after the SMS sign-in the password works too.
        QCOMPARE(failure(bySms(code)), QString("1202 登录验证失败"));
        QVERIFY(!signIn(phone, LocalServiceProcess::password).isEmpty());

        QCOMPARE(failure(sendSmsCode("13911112222", "PHONECODE_LOGIN")), QString("1001 账号不存在或未激活"));
        QCOMPARE(failure(sendSmsCode("1391111", "PHONECODE_LOGIN")), QString("1302 手机号格式不正确"));
    }

    void secondSignInEndsTheFirstWith1209()
    {
        const QString first = signIn(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QVERIFY(ticket(first).answer.value("success").toBool());
        const QString second = signIn(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QCOMPARE(failure(ticket(first)), QString("1209 accessToken被踢出"));
        QVERIFY(ticket(second).answer.value("success").toBool());
        // The control endpoint does the same on demand.
        QVERIFY(m_service.kick(LocalServiceProcess::demoPhone));
        QCOMPARE(failure(ticket(second)), QString("1209 accessToken被踢出"));
    }

    void registrationResetSignInAndProfile()
    {
        const QString phone = "13912345678";
        QCOMPARE(failure(sendSmsCode(LocalServiceProcess::demoPhone, "ACCOUNT_CREATE")),
                 QString("1301 该手机号已注册"));
        QVERIFY(sendSmsCode(phone, "ACCOUNT_CREATE").answer.value("success").toBool());
        const QString code = m_service.latestSmsCode(phone);
        const auto preCreate = [&](const QString& given) {
            return call("preCreateAccount", withDevice({{"account", phone}, {"appCode", m_signer.appCode()}},
                                                       {{"verificationCode", given}}));
        };
        QCOMPARE(failure(preCreate(code == "111111" ? "222222" : "111111")), QString("1202 登录验证失败"));
        const TestSigner::Result created = preCreate(code);
        QVERIFY2(created.answer.value("success").toBool(), created.body.constData());
        const QString accessToken = tokenFor(created.answer.value("content").toString());
        QVERIFY(!accessToken.isEmpty());
        const int id = validate(accessToken).answer.value("content").toObject().value("id").toInt();
        QVERIFY(id > 10006);
        QVERIFY(call("joinInvitingCompany", withDevice(tokenFields(accessToken)))
                    .answer.value("success")
                    .toBool());
        QCOMPARE(call("companyList", tokenFields(accessToken)).answer.value("content").toArray().size(), 1);

        // No password yet; the reset sets one.
        QCOMPARE(failure(passwordAuthCode(phone, "anything")).left(4), QString("1200"));
        const auto reset = [&](const QString& newPassword) {
            return call("resetPassword",
                        tokenFields(accessToken) +
                            withDevice({{"appCode", m_signer.appCode()}}, {{"newPassword", newPassword}}));
        };
        QCOMPARE(failure(reset("short")).left(4), QString("1303"));
        QVERIFY(reset("new&pass=1+2%").answer.value("success").toBool());
        const QString again = signIn(phone, "new&pass=1+2%");
        QVERIFY(!again.isEmpty());

        // A name and JSON holding "&", "=", "+" and "%" arrive intact.
        const QString name = "陈 A&B=C+D%E";
        const QString personJson = QJsonDocument(QJsonObject{{"id", id}, {"name", name}, {"title", "50%+"}})
                                       .toJson(QJsonDocument::Compact);
        const TestSigner::Result modified =
            call("modifyProfile", withDevice(tokenFields(again), {{"personJson", personJson}}));
        QVERIFY2(modified.answer.value("success").toBool(), modified.body.constData());
        QVERIFY(m_service.requests("modifyProfile")
                    .at(0)
                    .toObject()
                    .value("body")
                    .toString()
                    .contains("%26B%3DC%2BD%25E"));
        const QJsonObject person =
            call("personDetail",
                 tokenFields(again) + TestSigner::Fields{{"targetAccountId", QString::number(id)}})
                .answer.value("content")
                .toObject();
        QCOMPARE(person.value("name").toString(), name);
        QCOMPARE(person.value("title").toString(), QString("50%+"));
        QCOMPARE(person.value("avatarUrl").toString(), QString());
        QCOMPARE(
            failure(call("modifyProfile", withDevice(tokenFields(again), {{"personJson", "[1]"}}))).left(4),
            QString("1304"));
    }

    void changePassword()
    {
        const QString accessToken = signIn(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        const auto change = [&](const QString& phone, const QString& oldPassword,
                                const QString& newPassword) {
            return call("changePassword",
                        tokenFields(accessToken) +
                            withDevice({{"account", phone}, {"appCode", m_signer.appCode()}},
                                       {{"newPassword", newPassword}, {"oldPassword", oldPassword}}));
        };
        QCOMPARE(failure(change(LocalServiceProcess::demoPhone, "not-it", "changed-99")),
                 QString("1203 密码验证失败"));
        QCOMPARE(
            failure(change(LocalServiceProcess::lockedPhone, LocalServiceProcess::password, "changed-99"))
                .left(4),
            QString("1210"));
        QVERIFY(change(LocalServiceProcess::demoPhone, LocalServiceProcess::password, "changed-99")
                    .answer.value("success")
                    .toBool());
        QCOMPARE(
            failure(passwordAuthCode(LocalServiceProcess::demoPhone, LocalServiceProcess::password)).left(4),
            QString("1200"));
        QVERIFY(!signIn(LocalServiceProcess::demoPhone, "changed-99").isEmpty());
    }

    void changesSurviveARestartOnTheSameDataDirectory()
    {
        const QString accessToken = signIn(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        QVERIFY(call("resetPassword",
                     tokenFields(accessToken) + withDevice({{"appCode", m_signer.appCode()}},
                                                           {{"newPassword", "kept-over-restart"}}))
                    .answer.value("success")
                    .toBool());
        const QString kept = m_service.dataDirectory() + "-restart";
        QVERIFY(QDir().mkpath(kept));
        QVERIFY(QFile::copy(m_service.dataDirectory() + "/accounts.json", kept + "/accounts.json"));
        LocalServiceProcess restarted;
        QVERIFY(restarted.start(kept));
        const TestSigner::Result r =
            m_signer.post(restarted.origin(), "authCodeByPassword",
                          withDevice({{"account", m_signer.rsaBase64(LocalServiceProcess::demoPhone)},
                                      {"appCode", m_signer.appCode()}},
                                     {{"keyVersion", m_signer.keyVersion()},
                                      {"password", m_signer.rsaBase64("kept-over-restart")}}));
        QVERIFY2(r.answer.value("success").toBool(), r.body.constData());
    }

    void conferenceConfiguration()
    {
        const TestSigner::Result r = call("conferenceConfig", {{"configKey", "vcAppConfig"}});
        QVERIFY2(r.answer.value("success").toBool(), r.body.constData());
        QVERIFY(r.answer.value("content").isString());
        const QJsonObject content =
            QJsonDocument::fromJson(r.answer.value("content").toString().toUtf8()).object();
        QVERIFY(!content.value("clientAppId").toString().isEmpty());
        QVERIFY(!content.value("clientAppKey").toString().isEmpty());
        QCOMPARE(failure(call("conferenceConfig", {{"configKey", "other"}})), QString("1400 配置项不存在"));
    }

    void printInformation_data()
    {
        QTest::addColumn<QString>("accountId");
        QTest::addColumn<QString>("appId");
        QTest::addColumn<bool>("goodSign");
        QTest::addColumn<QString>("errorCode");
        const QString appId = m_signer.printAppId();
        QTest::newRow("demo") << "10001" << appId << true << "";
        QTest::newRow("wrong signPc") << "10001" << appId << false << "1500";
        QTest::newRow("wrong appId") << "10001"
                                     << "other-app" << true << "1501";
        QTest::newRow("unknown account") << "99999" << appId << true << "1001";
    }

    void printInformation()
    {
        QFETCH(QString, accountId);
        QFETCH(QString, appId);
        QFETCH(bool, goodSign);
        QFETCH(QString, errorCode);
        const QByteArray sign =
            QCryptographicHash::hash(("accountId=" + accountId + "appId=" + appId).toLocal8Bit(),
                                     QCryptographicHash::Md5)
                .toHex()
                .toUpper();
        const QByteArray body = "accountId=" + accountId.toUtf8() + "&appId=" + appId.toUtf8() +
                                "&signPc=" + (goodSign ? sign : QByteArray(32, '0'));
        const TestSigner::Result r =
            TestSigner::send(m_service.origin() + "/print/online/info", "POST", body,
                             {{"Accept", "text/html, application/xhtml+xml, */*"},
                              {"Content-Type", "application/x-www-form-urlencoded; charset=UTF-8"}});
        QCOMPARE(r.answer.value("errorCode").toString(), errorCode);
        QCOMPARE(r.answer.value("success").toBool(), errorCode.isEmpty());
        if (errorCode.isEmpty()) {
            const QJsonObject data = r.answer.value("content").toObject().value("data").toObject();
            QCOMPARE(data.value("accountId").toInt(), 10001);
            QCOMPARE(data.value("companyId").toInt(), 1002);
        }
    }

    void ipLocationAndFourDayForecast()
    {
        const QString origin = m_service.origin();
        const TestSigner::Result ip = TestSigner::get(origin + "/v3/ip?key=" + m_signer.weatherKey());
        QCOMPARE(ip.answer.value("city").toString(), QString("杭州市"));
        QCOMPARE(TestSigner::get(origin + "/v3/ip?key=wrong").answer.value("status").toString(),
                 QString("0"));

        QUrlQuery query;
        query.addQueryItem("key", m_signer.weatherKey());
        query.addQueryItem("city", "杭州市");
        query.addQueryItem("extensions", "all");
        query.addQueryItem("output", "JSON");
        const TestSigner::Result weather =
            TestSigner::get(origin + "/v3/weather/weatherInfo?" + query.toString(QUrl::FullyEncoded));
        QCOMPARE(weather.answer.value("status").toString(), QString("1"));
        const QJsonObject forecast = weather.answer.value("forecasts").toArray().at(0).toObject();
        QCOMPARE(forecast.value("city").toString(), QString("杭州市"));
        const QJsonArray casts = forecast.value("casts").toArray();
        QCOMPARE(casts.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QJsonObject day = casts.at(i).toObject();
            QCOMPARE(day.value("date").toString(), QDate::currentDate().addDays(i).toString("yyyy-MM-dd"));
            QVERIFY(!day.value("dayweather").toString().isEmpty());
            bool numeric = false;
            day.value("daytemp").toString().toInt(&numeric);
            QVERIFY(numeric);
        }
    }

    void analyticsEventsAreDecodedAndRecorded()
    {
        const QJsonObject doc{
            {"common", QJsonObject{{"appkey", m_signer.analyticsKey()}, {"user", "未登录"}}},
            {"events", QJsonArray{QJsonObject{{"event_name", "启动APP"}}}}};
        const QByteArray data =
            QJsonDocument(doc).toJson(QJsonDocument::Compact).toBase64(QByteArray::Base64UrlEncoding);
        const TestSigner::Result ok = TestSigner::get(m_service.origin() + "/dplusTrack/?data=" + data);
        QCOMPARE(ok.status, 200);
        const TestSigner::Result bad =
            TestSigner::get(m_service.origin() + "/dplusTrack/?data=%%%not-base64");
        QCOMPARE(bad.status, 400);
        const QJsonArray events = m_service.events();
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.at(0).toObject().value("event_name").toString(), QString("启动APP"));
        QCOMPARE(events.at(0).toObject().value("appkeyValid").toBool(), true);
        QVERIFY(!events.at(0).toObject().contains("user"));
    }

    void faultSwitches_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("check");
        QTest::newRow("delay") << QJsonObject{{"endpoint", "ipLocate"}, {"mode", "delay"}, {"delayMs", 1200}}
                               << "slow";
        QTest::newRow("empty body") << QJsonObject{{"endpoint", "validateToken"}, {"mode", "empty"}}
                                    << "empty";
        QTest::newRow("not JSON") << QJsonObject{{"endpoint", "validateToken"}, {"mode", "nonJson"}}
                                  << "nonJson";
        QTest::newRow("JSON array") << QJsonObject{{"endpoint", "ipLocate"}, {"mode", "array"}} << "array";
        QTest::newRow("wrong types") << QJsonObject{{"endpoint", "ipLocate"}, {"mode", "wrongTypes"}}
                                     << "wrongTypes";
        QTest::newRow("HTTP 500") << QJsonObject{{"endpoint", "validateToken"}, {"mode", "http500"}} << "500";
        QTest::newRow("any failure") << QJsonObject{{"endpoint", "validateToken"},
                                                    {"mode", "fail"},
                                                    {"errorCode", "4242"},
                                                    {"errorMsg", "出错了"}}
                                     << "fail";
        QTest::newRow("timeOffest") << QJsonObject{{"endpoint", "validateToken"},
                                                   {"mode", "timeOffset"},
                                                   {"timeOffest", 60000}}
                                    << "timeOffest";
        QTest::newRow("1209") << QJsonObject{{"endpoint", "validateToken"}, {"mode", "kick"}} << "1209";
        QTest::newRow("weather down") << QJsonObject{{"endpoint", "weather"}, {"mode", "down"}} << "down";
        QTest::newRow("IP location down")
            << QJsonObject{{"endpoint", "ipLocate"}, {"mode", "down"}} << "down";
        QTest::newRow("raw answer") << QJsonObject{{"endpoint", "ipLocate"},
                                                   {"mode", "raw"},
                                                   {"status", 200},
                                                   {"body", "{\"city\":[]}"}}
                                    << "raw";
        QTest::newRow("once") << QJsonObject{{"endpoint", "validateToken"}, {"mode", "kick"}, {"count", 1}}
                              << "once";
        QTest::newRow("every endpoint") << QJsonObject{{"endpoint", "*"}, {"mode", "http500"}} << "500";
    }

    void faultSwitches()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(QString, check);
        QVERIFY(m_service.setFault(fault));
        const QString endpoint = fault.value("endpoint").toString();
        const auto request = [&]() {
            if (endpoint == "ipLocate") {
                return TestSigner::get(m_service.origin() + "/v3/ip?key=" + m_signer.weatherKey());
            }
            if (endpoint == "weather") {
                return TestSigner::get(m_service.origin() + "/v3/weather/weatherInfo?key=" +
                                       m_signer.weatherKey() + "&city=x&extensions=all&output=JSON");
            }
            return validate("no-such-token");
        };
        QElapsedTimer timer;
        timer.start();
        const TestSigner::Result r = request();
        if (check == "slow") {
            QVERIFY(timer.elapsed() >= 1150);
            QCOMPARE(r.answer.value("city").toString(), QString("杭州市"));
        } else if (check == "empty") {
            QCOMPARE(r.status, 200);
            QVERIFY(r.body.isEmpty());
        } else if (check == "nonJson") {
            QCOMPARE(r.status, 200);
            QVERIFY(QJsonDocument::fromJson(r.body).isNull());
        } else if (check == "array") {
            QVERIFY(QJsonDocument::fromJson(r.body).isArray());
        } else if (check == "wrongTypes") {
            QVERIFY(r.answer.value("city").isArray());
            QVERIFY(r.answer.value("status").isArray());
        } else if (check == "500") {
            QCOMPARE(r.status, 500);
        } else if (check == "fail") {
            QCOMPARE(failure(r), QString("4242 出错了"));
        } else if (check == "timeOffest") {
            QCOMPARE(r.answer.value("success").toBool(), false);
            QCOMPARE(r.answer.value("timeOffest").toInt(), 60000);
        } else if (check == "1209" || check == "once") {
            QCOMPARE(failure(r), QString("1209 accessToken被踢出"));
        } else if (check == "down") {
            QCOMPARE(r.status, 503);
        } else if (check == "raw") {
            QCOMPARE(r.body, QByteArray("{\"city\":[]}"));
        }
        const TestSigner::Result next = request();
        if (check == "once") {
            QCOMPARE(next.answer.value("errorCode").toString(), QString("1208"));
        }
        QVERIFY(m_service.clearFaults());
        if (endpoint != "*") {
            const QJsonObject faulted = m_service.requests(endpoint).first().toObject();
            QVERIFY(faulted.value("outcome").toString().contains("fault"));
        }
        // Cleared, the endpoint answers normally again.
        if (endpoint == "ipLocate") {
            QCOMPARE(request().answer.value("city").toString(), QString("杭州市"));
        } else if (endpoint == "validateToken") {
            QCOMPARE(request().answer.value("errorCode").toString(), QString("1208"));
        }
    }

    void badFaultDescriptionsAreRefused()
    {
        QCOMPARE(
            m_service.control("POST", "/__control/fault", {{"endpoint", "nowhere"}}).value("ok").toBool(),
            false);
        QCOMPARE(m_service.control("POST", "/__control/fault", {{"endpoint", "weather"}, {"mode", "explode"}})
                     .value("ok")
                     .toBool(),
                 false);
    }

    void garbageLeavesTheServiceServing()
    {
        const auto raw = [&](const QByteArray& bytes, bool waitForAnswer) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_service.port()));
            if (!socket.waitForConnected(3000)) {
                return QByteArray("no connection");
            }
            socket.write(bytes);
            socket.waitForBytesWritten(3000);
            QByteArray answer;
            if (waitForAnswer) {
                // The answer comes at once; the connection may then stay open.
                while (socket.waitForReadyRead(answer.isEmpty() ? 3000 : 200)) {
                    answer += socket.readAll();
                }
            }
            socket.abort();
            return answer;
        };
        QVERIFY(raw(QByteArray("\x00\xff\xfe garbage \r\n\r\n", 16), true).startsWith("HTTP/1.1 400"));
        raw("POST /api/auth/token HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\nonly-a-part", false);
        raw("GET /" + QByteArray(20000, 'a') + " HTTP/1.1\r\n\r\n", true);
        raw("GET / HTTP/1.1\r\nX-Big: " + QByteArray(20000, 'b') + "\r\n\r\n", true);
        const TestSigner::Result big =
            TestSigner::send(m_service.origin() + "/api/auth/token", "POST", QByteArray(2 * 1024 * 1024, 'x'),
                             {{"Content-Type", "application/x-www-form-urlencoded"}});
        QCOMPARE(big.status, 413);
        QCOMPARE(big.answer.value("errorCode").toString(), QString("413"));
        const TestSigner::Result badJson =
            TestSigner::send(m_service.origin() + "/__control/fault", "POST", "{not json",
                             {{"Content-Type", "application/json"}});
        QCOMPARE(badJson.status, 400);
        QCOMPARE(badJson.answer.value("ok").toBool(), false);
        QCOMPARE(TestSigner::get(m_service.origin() + "/v3/ip?key=%zz%").answer.value("status").toString(),
                 QString("0"));
        QCOMPARE(TestSigner::get(m_service.origin() + "/no/such/page").status, 404);

        QVERIFY(m_service.isRunning());
        QVERIFY(!signIn(LocalServiceProcess::demoPhone, LocalServiceProcess::password).isEmpty());
    }

    void officePageSignsInWithTheTicket()
    {
        const QString accessToken = signIn(LocalServiceProcess::demoPhone, LocalServiceProcess::password);
        const QString sso = ticket(accessToken).answer.value("content").toString();
        const QString index = m_service.origin() +
                              "/pcweb/index?spm=0.0.0.0.WxsToM&companyId=1001&SSO_TICKET=" + sso +
                              "&client=PC";
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        const auto fetch = [&](const QString& url) {
            QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(url)));
            QSignalSpy finished(reply, &QNetworkReply::finished);
            finished.wait(10000);
            const QString body = QString::fromUtf8(reply->readAll());
            reply->deleteLater();
            return body;
        };
        const QString home = fetch(index);
        QVERIFY2(home.contains("林晓雨") && home.contains("远航数字科技有限公司"), qPrintable(home));
        QVERIFY(home.contains("id=\"unread\">3<"));
        // The cookie session carries on to the mail and contacts pages.
        QVERIFY(fetch(m_service.origin() + "/pcweb/mail").contains("客户会议改到明天上午"));
        QVERIFY(fetch(m_service.origin() + "/pcweb/contacts").contains("孙悦"));
        QVERIFY(fetch(m_service.origin() + "/pcweb/index?SSO_TICKET=ST-forged").contains("登录已失效"));

        const QString meeting = fetch(m_service.origin() + "/client/index.htm?SSO_TICKET=" + sso);
        QVERIFY(meeting.contains("<script src=\"qrc:///qtwebchannel/qwebchannel.js\"></script>"));
        QVERIFY(meeting.contains("\"name\":\"林晓雨\""));
        QVERIFY(fetch(m_service.origin() + "/client/index.htm").contains("window.VANTELOR_USER = null;"));
    }

    void cleanupTestCase() { m_service.stop(); }
};

QTEST_GUILESS_MAIN(TestLocalService)
#include "tst_localservice.moc"
