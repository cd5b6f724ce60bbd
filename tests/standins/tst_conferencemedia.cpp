// Conferences with real media: two conference programs, each on an X display
// of its own, join one room on a real media server (Janus, VideoRoom) and see
// each other through it. The test plays the client: it serves the local
// socket each program connects to and sends the commands the client sends.
// It runs in a network namespace of its own (scripts/netns-run.sh), where the
// media server's ICE interface leads nowhere.
#include "conference/jsonobjectscanner.h"
#include "support/testenvironment.h"
#include "support/xvfbserver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {
constexpr int kMediaTimeoutMs = 30000;

quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// The media server, with the repository's configuration on a free port.
class MediaServer
{
public:
    ~MediaServer() { stop(); }

    bool start()
    {
        m_port = freePort();
        const QString dir = TestEnvironment::root() + "/janus-" + QString::number(m_port);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(dir + ".out");
        m_process.start("bash", {QStringLiteral(VANTELOR_SOURCE_DIR) + "/scripts/start-janus.sh",
                                 QString::number(m_port), dir, "21000-21999"});
        if (!m_process.waitForStarted()) {
            return false;
        }
        // Ready once its HTTP API answers (plugins load first).
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000 && m_process.state() == QProcess::Running) {
            std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(QUrl(url() + "/info"))));
            QSignalSpy finished(reply.get(), &QNetworkReply::finished);
            if ((finished.count() > 0 || finished.wait(2000)) && reply->error() == QNetworkReply::NoError) {
                return true;
            }
            QTest::qWait(100);
        }
        return false;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
        m_session.clear();
    }

    QString url() const { return QString("http://127.0.0.1:%1/janus").arg(m_port); }

    // A plugin request in a session of the test's own, as another member would make it.
    QJsonObject request(const QJsonObject& body)
    {
        if (m_session.isEmpty()) {
            m_session = QString::number(
                call(url(), {{"janus", "create"}}).value("data").toObject().value("id").toDouble(), 'f', 0);
            m_handle = QString::number(
                call(url() + "/" + m_session, {{"janus", "attach"}, {"plugin", "janus.plugin.videoroom"}})
                    .value("data")
                    .toObject()
                    .value("id")
                    .toDouble(),
                'f', 0);
        }
        return call(url() + "/" + m_session + "/" + m_handle, {{"janus", "message"}, {"body", body}});
    }

private:
    QJsonObject call(const QString& address, QJsonObject body)
    {
        body.insert("transaction", QString::number(++m_transaction));
        QNetworkRequest request{QUrl(address)};
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        std::unique_ptr<QNetworkReply> reply(m_network.post(request, QJsonDocument(body).toJson()));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        finished.wait(5000);
        return QJsonDocument::fromJson(reply->readAll()).object();
    }

    QProcess m_process;
    quint16 m_port = 0;
    QNetworkAccessManager m_network;
    QString m_session;
    QString m_handle;
    int m_transaction = 0;
};

// One conference program, as the client starts it and speaks to it.
class Member
{
public:
    explicit Member(const QString& name) : m_name(name) {}
    ~Member() { stop(); }

    bool start(const QString& mediaServer, const QProcessEnvironment& screen)
    {
        const QString dir = TestEnvironment::root();
        m_log = QString("%1/member-%2.log").arg(dir, m_name);
        QFile::remove(m_log); // the program appends; a member of an earlier test used the name
        const QString config = QString("%1/member-%2.ini").arg(dir, m_name);
        QFile ini(config);
        if (!ini.open(QIODevice::WriteOnly)) {
            return false;
        }
        ini.write("mediaServer=" + mediaServer.toUtf8() + "\n");
        ini.close();

        const QString serverName = QString("%1/member-%2.socket").arg(TestEnvironment::runtimeDir(), m_name);
        QLocalServer::removeServer(serverName);
        if (!m_server.listen(serverName)) {
            return false;
        }
        QProcessEnvironment environment = screen;
        environment.insert("TANDEMLINK_STANDIN_LOG", m_log);
        environment.insert("TANDEMLINK_STANDIN_CONFIG", config);
        environment.insert("TANDEMLINK_STANDIN_CAMERA", "none");
        environment.insert("TANDEMLINK_STANDIN_HEARTBEAT_MS", "1000");
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        const QJsonObject start{{"operation", "setservername"},
                                {"clientappid", "test-app"},
                                {"servername", m_server.fullServerName()}};
        m_process.start(TestEnvironment::binary("TandemlinkSdk/TandemlinkSdk"),
                        {QString::fromUtf8(QJsonDocument(start).toJson())});
        if (!m_server.waitForNewConnection(10000)) {
            return false;
        }
        m_socket = m_server.nextPendingConnection();
        QObject::connect(m_socket, &QLocalSocket::readyRead, [this] {
            for (const QByteArray& object : m_scanner.feed(m_socket->readAll())) {
                const QJsonObject message = QJsonDocument::fromJson(object).object();
                if (message.value("type").toInt() != 10000) {
                    m_messages << message;
                }
            }
        });
        return true;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    void join(const QString& conference)
    {
        send({{"operation", "conferencestart"},
              {"clientappid", "test-app"},
              {"conferenceuuid", conference},
              {"membername", m_name},
              {"memberid", m_name.toLower()}});
    }

    void leave(const QString& conference)
    {
        send({{"operation", "conferencedisconnect"},
              {"clientappid", "test-app"},
              {"conferenceuuid", conference},
              {"memberid", m_name.toLower()}});
    }

    // The data of the first message of that type (and operation or module), empty if none yet.
    QJsonObject message(int type, const QString& about) const
    {
        for (const QJsonObject& message : m_messages) {
            const QJsonObject data = message.value("data").toObject();
            if (message.value("type").toInt() == type &&
                (data.value("operation").toString() == about || data.value("module").toString() == about)) {
                return data;
            }
        }
        return QJsonObject();
    }

    bool logged(const QString& line) const
    {
        QFile file(m_log);
        return file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()).contains(line);
    }

    QString name() const { return m_name; }

private:
    void send(const QJsonObject& command)
    {
        m_socket->write(QJsonDocument(command).toJson());
        m_socket->flush();
    }

    const QString m_name;
    QString m_log;
    QLocalServer m_server;
    QLocalSocket* m_socket = nullptr;
    QProcess m_process;
    CJsonObjectScanner m_scanner;
    QList<QJsonObject> m_messages;
};

// The other member's tile is the left half of the window; the generated
// picture there is black with a moving ball and a running clock, which the
// tile's own background (dark grey, with "connecting" in it) never is.
bool showsMovingPicture(const XvfbServer& screen, const QString& name)
{
    const QString dir = TestEnvironment::root();
    const QImage first = screen.screenshot(dir + "/" + name + "-1.png");
    QTest::qWait(400); // the ball moves on between the two pictures
    // Kept beside the build's other screenshots, to look at.
    const QImage second =
        screen.screenshot(QStringLiteral(VANTELOR_BIN_DIR "/../tests/conferencemedia-%1.png").arg(name));
    if (first.isNull() || second.isNull()) {
        return false;
    }
    const QRect tile(20, 140, 440, 250); // the picture, its running clock included
    int black = 0;
    int changed = 0;
    for (int y = tile.top(); y < tile.bottom(); y += 2) {
        for (int x = tile.left(); x < tile.right(); x += 2) {
            const QRgb a = first.pixel(x, y);
            const QRgb b = second.pixel(x, y);
            black += qRed(b) < 10 && qGreen(b) < 10 && qBlue(b) < 10;
            changed += a != b;
        }
    }
    return black > 5000 && changed > 50;
}
} // namespace

class TestConferenceMedia : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariable("VANTELOR_NETNS") != QLatin1String("1")) {
            QSKIP("needs its own network namespace: run through scripts/netns-run.sh (as CTest does)");
        }
        QVERIFY(m_alicesScreen.start(QSize(960, 600)));
        QVERIFY(m_bobsScreen.start(QSize(960, 600)));
    }

    void init() { QVERIFY2(m_server.start(), "the media server did not start"); }
    void cleanup() { m_server.stop(); }

    void membersSeeEachOtherUntilOneLeaves()
    {
        Member alice("Alice");
        Member bob("Bob");
        QVERIFY(alice.start(m_server.url(), m_alicesScreen.environment()));
        QVERIFY(bob.start(m_server.url(), m_bobsScreen.environment()));
        const QString conference = "c0ffee00-0000-4000-8000-000000000001";
        alice.join(conference);
        QTRY_VERIFY_WITH_TIMEOUT(!alice.message(10001, "conferencestart").isEmpty(), kMediaTimeoutMs);
        QCOMPARE(alice.message(10001, "conferencestart").value("success").toBool(), true);
        bob.join(conference);
        QTRY_VERIFY_WITH_TIMEOUT(!bob.message(10001, "conferencestart").isEmpty(), kMediaTimeoutMs);
        QCOMPARE(bob.message(10001, "conferencestart").value("success").toBool(), true);

        QTRY_VERIFY_WITH_TIMEOUT(alice.logged("first video frame from Bob"), kMediaTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(bob.logged("first video frame from Alice"), kMediaTimeoutMs);
        QTRY_VERIFY2_WITH_TIMEOUT(showsMovingPicture(m_alicesScreen, "alice"),
                                  "Alice's window does not show Bob's picture", 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(showsMovingPicture(m_bobsScreen, "bob"),
                                  "Bob's window does not show Alice's picture", 10000);

        bob.leave(conference);
        QTRY_VERIFY_WITH_TIMEOUT(!bob.message(10001, "conferencedisconnect").isEmpty(), kMediaTimeoutMs);
        QCOMPARE(bob.message(10001, "conferencedisconnect").value("success").toBool(), true);
        QTRY_VERIFY_WITH_TIMEOUT(alice.logged("member left: Bob"), kMediaTimeoutMs);
        QVERIFY(alice.logged("participants: 1"));
        QVERIFY(alice.message(10002, "conference").isEmpty());
    }

    void lostServerEndsTheConferenceForEveryone()
    {
        Member alice("Alice");
        Member bob("Bob");
        QVERIFY(alice.start(m_server.url(), m_alicesScreen.environment()));
        QVERIFY(bob.start(m_server.url(), m_bobsScreen.environment()));
        const QString conference = "c0ffee00-0000-4000-8000-000000000002";
        alice.join(conference);
        bob.join(conference);
        QTRY_VERIFY_WITH_TIMEOUT(alice.logged("first video frame from Bob"), kMediaTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(bob.logged("first video frame from Alice"), kMediaTimeoutMs);

        m_server.stop();
        for (Member* member : {&alice, &bob}) {
            QTRY_VERIFY_WITH_TIMEOUT(!member->message(10002, "conference").isEmpty(), kMediaTimeoutMs);
            const QJsonObject notification = member->message(10002, "conference");
            const int code = notification.value("errorCode").toInt();
            QVERIFY2(code >= 81000 && code <= 90310,
                     qPrintable(member->name() + ": " + QString::number(code)));
            QCOMPARE(notification.value("errorMsg").toString(),
                     QStringLiteral("与会议服务器的连接已断开,会议已结束"));
        }
    }

    void refusedJoinIsAFailedReply_data()
    {
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<QString>("errorMsg");
        QTest::newRow("no server") << false << 81010 << QStringLiteral("无法连接会议服务器,请检查网络后重试");
        QTest::newRow("room locked") << true << 81011 << QStringLiteral("会议服务器拒绝加入会议:");
    }

    void refusedJoinIsAFailedReply()
    {
        QFETCH(bool, serverUp);
        QFETCH(int, errorCode);
        QFETCH(QString, errorMsg);
        const QString conference = "c0ffee00-0000-4000-8000-000000000003";
        if (serverUp) {
            // Someone else made the room with a PIN that this member does not know.
            const QJsonObject created = m_server.request(
                {{"request", "create"}, {"room", conference}, {"pin", "2468"}, {"permanent", false}});
            QCOMPARE(
                created.value("plugindata").toObject().value("data").toObject().value("videoroom").toString(),
                QStringLiteral("created"));
        } else {
            m_server.stop();
        }
        Member carol("Carol");
        QVERIFY(carol.start(m_server.url(), m_alicesScreen.environment()));
        carol.join(conference);
        QTRY_VERIFY_WITH_TIMEOUT(!carol.message(10001, "conferencestart").isEmpty(), kMediaTimeoutMs);
        const QJsonObject reply = carol.message(10001, "conferencestart");
        QCOMPARE(reply.value("success").toBool(), false);
        QCOMPARE(reply.value("errorCode").toInt(), errorCode);
        QVERIFY2(reply.value("errorMsg").toString().startsWith(errorMsg),
                 qPrintable(reply.value("errorMsg").toString()));
    }

private:
    XvfbServer m_alicesScreen;
    XvfbServer m_bobsScreen;
    MediaServer m_server;
};

QTEST_MAIN(TestConferenceMedia)
#include "tst_conferencemedia.moc"
