#include "support/localserviceprocess.h"
#include "support/testenvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QtTest>

// The meeting-room calls of the local service over real HTTP: receivers
// register and renew their room, senders look a room up by its 4-character
// code, and only callers with the deployment's conference app credentials
// are served.
namespace {
const QByteArray kAppId = "local-conference-app";
const QByteArray kAppKey = "local-conference-key";

struct Reply
{
    int status = 0;
    QJsonObject answer;
    QJsonObject content() const { return answer.value("content").toObject(); }
    QString errorCode() const { return answer.value("errorCode").toString(); }
};
} // namespace

class TestMeetingRooms : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private slots:
    void initTestCase() { QVERIFY(m_service.start()); }
    void init() { QVERIFY(m_service.reset()); }

    void refusedWithoutTheAppCredentials_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("appId");
        QTest::addColumn<QByteArray>("appKey");
        QTest::newRow("register, none")
            << QByteArray("POST") << "/api/rooms/register" << QByteArray() << QByteArray();
        QTest::newRow("renew, wrong key")
            << QByteArray("POST") << "/api/rooms/renew" << kAppId << QByteArray("local-conference-kez");
        QTest::newRow("list, wrong id")
            << QByteArray("GET") << "/api/rooms/list" << QByteArray("other-app") << kAppKey;
        QTest::newRow("lookup, id only")
            << QByteArray("GET") << "/api/rooms/lookup?code=AB12" << kAppId << QByteArray();
    }
    void refusedWithoutTheAppCredentials()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, appId);
        QFETCH(QByteArray, appKey);
        const QString code = registerRoom("127.0.0.9", 47310);
        const Reply reply = call(
            method, path, QJsonObject{{"code", code}, {"name", "x"}, {"address", "127.0.0.8"}, {"port", 1}},
            appId, appKey);
        QCOMPARE(reply.status, 401);
        QCOMPARE(reply.answer.value("success"), QJsonValue(false));
        QCOMPARE(reply.errorCode(), QString("4401"));
        // Nothing changed: still one room, still the first one's address.
        const QJsonArray rooms = list();
        QCOMPARE(rooms.size(), 1);
        QCOMPARE(rooms.at(0).toObject().value("address").toString(), QString("127.0.0.9"));
    }

    void roomsAreRegisteredLookedUpAndListed()
    {
        const Reply first =
            call("POST", "/api/rooms/register",
                 QJsonObject{{"name", "三楼 大会议室"}, {"address", "127.0.3.1"}, {"port", 47310}});
        QCOMPARE(first.answer.value("success"), QJsonValue(true));
        const QString code = first.content().value("code").toString();
        QVERIFY2(QRegularExpression("^[0-9A-HJKMNP-TV-Z]{4}$").match(code).hasMatch(), qPrintable(code));
        QVERIFY(first.content().value("lifetimeMs").toInt() > 0);
        const QString other = registerRoom("127.0.3.2", 47311);
        QVERIFY(other != code);

        // Codes are read off a screen and typed in any case.
        const Reply found = call("GET", "/api/rooms/lookup?code=" + code.toLower());
        QCOMPARE(found.answer.value("success"), QJsonValue(true));
        QCOMPARE(found.content().value("code").toString(), code);
        QCOMPARE(found.content().value("name").toString(), QString("三楼 大会议室"));
        QCOMPARE(found.content().value("address").toString(), QString("127.0.3.1"));
        QCOMPARE(found.content().value("port").toInt(), 47310);
        QCOMPARE(list().size(), 2);

        // A receiver that registers again (restarted) keeps its code.
        QCOMPARE(registerRoom("127.0.3.1", 47310), code);
        QCOMPARE(list().size(), 2);
        QCOMPARE(call("POST", "/api/rooms/renew", QJsonObject{{"code", code}}).answer.value("success"),
                 QJsonValue(true));

        QCOMPARE(call("GET", "/api/rooms/lookup?code=ZZ99").errorCode(), QString("4404"));
        QCOMPARE(call("POST", "/api/rooms/renew", QJsonObject{{"code", "ZZ99"}}).errorCode(),
                 QString("4404"));
        // A reset forgets every room.
        QVERIFY(m_service.reset());
        QCOMPARE(call("GET", "/api/rooms/lookup?code=" + code).errorCode(), QString("4404"));
    }

    void incompleteRegistrationsAreRefused_data()
    {
        QTest::addColumn<QJsonObject>("body");
        QTest::newRow("no name") << QJsonObject{{"address", "127.0.0.2"}, {"port", 1}};
        QTest::newRow("blank name") << QJsonObject{{"name", "  "}, {"address", "127.0.0.2"}, {"port", 1}};
        QTest::newRow("name too long")
            << QJsonObject{{"name", QString(65, 'x')}, {"address", "127.0.0.2"}, {"port", 1}};
        QTest::newRow("host name") << QJsonObject{{"name", "a"}, {"address", "room.example"}, {"port", 1}};
        QTest::newRow("octet over 255")
            << QJsonObject{{"name", "a"}, {"address", "127.0.0.256"}, {"port", 1}};
        QTest::newRow("port 0") << QJsonObject{{"name", "a"}, {"address", "127.0.0.2"}, {"port", 0}};
        QTest::newRow("port as text") << QJsonObject{{"name", "a"}, {"address", "127.0.0.2"}, {"port", "1"}};
    }
    void incompleteRegistrationsAreRefused()
    {
        QFETCH(QJsonObject, body);
        const Reply reply = call("POST", "/api/rooms/register", body);
        QCOMPARE(reply.answer.value("success"), QJsonValue(false));
        QCOMPARE(reply.errorCode(), QString("4400"));
        QVERIFY(list().isEmpty());
    }

    // A receiver that stops renewing (killed) is gone once its lifetime ran out.
    void unrenewedRoomsExpire()
    {
        QVERIFY(m_service.control("POST", "/__control/rooms", QJsonObject{{"lifetimeMs", 600}})
                    .value("ok")
                    .toBool());
        const QString code = registerRoom("127.0.4.1", 47310);
        QElapsedTimer renewing;
        renewing.start();
        while (renewing.elapsed() < 1500) {
            QCOMPARE(call("POST", "/api/rooms/renew", QJsonObject{{"code", code}}).answer.value("success"),
                     QJsonValue(true));
            // The pace of the renewals: they must keep coming within the room's lifetime.
            QTest::qWait(150);
        }
        QCOMPARE(list().size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(call("GET", "/api/rooms/lookup?code=" + code).errorCode(), QString("4404"),
                                  3000);
        QVERIFY(list().isEmpty());
        QVERIFY(m_service.log().contains("room " + code));
    }

    // The service's fault switches apply to the room calls like to any other.
    void faultSwitchesApply_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("envelope");
        QTest::newRow("down") << "down" << 503 << false;
        QTest::newRow("malformed") << "nonJson" << 200 << false;
        QTest::newRow("slow") << "delay" << 200 << true;
    }
    void faultSwitchesApply()
    {
        QFETCH(QString, mode);
        QFETCH(int, status);
        QFETCH(bool, envelope);
        const QString code = registerRoom("127.0.5.1", 47310);
        QVERIFY(
            m_service.setFault(QJsonObject{{"endpoint", "roomLookup"}, {"mode", mode}, {"delayMs", 300}}));
        QElapsedTimer clock;
        clock.start();
        const Reply reply = call("GET", "/api/rooms/lookup?code=" + code);
        QVERIFY(clock.elapsed() >= 300);
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.answer.value("success").isBool(), envelope);
        QCOMPARE(m_service.requests("roomLookup").size(), 1);
    }

private:
    Reply call(const QByteArray& method, const QString& path, const QJsonObject& body = QJsonObject(),
               const QByteArray& appId = kAppId, const QByteArray& appKey = kAppKey)
    {
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        QNetworkRequest request(QUrl(m_service.origin() + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        if (!appId.isEmpty()) {
            request.setRawHeader("X-Conference-App-Id", appId);
        }
        if (!appKey.isEmpty()) {
            request.setRawHeader("X-Conference-App-Key", appKey);
        }
        QNetworkReply* reply =
            method == "GET" ? manager.get(request) : manager.post(request, QJsonDocument(body).toJson());
        QSignalSpy finished(reply, &QNetworkReply::finished);
        finished.wait(10000);
        Reply result;
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.answer = QJsonDocument::fromJson(reply->readAll()).object();
        delete reply;
        return result;
    }
    QString registerRoom(const QString& address, int port)
    {
        return call("POST", "/api/rooms/register",
                    QJsonObject{{"name", "会议室"}, {"address", address}, {"port", port}})
            .content()
            .value("code")
            .toString();
    }
    QJsonArray list() { return call("GET", "/api/rooms/list").content().value("rooms").toArray(); }

    LocalServiceProcess m_service;
};

QTEST_GUILESS_MAIN(TestMeetingRooms)
#include "tst_meetingrooms.moc"
