#include "conference/jsonobjectscanner.h"
#include "conference/standin.h"
#include "platform/systemping.h"
#include "projection/p2pdsclientsession.h"
#include "projection/sharewrapper.h"
#include "support/localserviceprocess.h"
#include "support/processtree.h"
#include "support/testenvironment.h"
#include "support/xvfbserver.h"
#include "ui/pageproject.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <cstring>

// Shares by 4-character code reach a real meeting room: two receivers, each
// on an X server of its own and registered as a room at the local service,
// and the PC on a third, whose screen shows a known picture. The projection
// page with the real router and managers starts the real conference process,
// which looks the room up and streams through the projection library; the
// receivers' screens must then show the PC's picture, or stay as they were.
namespace {
// Small: every share encodes the screen once more, on two shared cores.
const QSize kScreen(640, 360);

QImage pattern()
{
    QImage image(kScreen, QImage::Format_RGB32);
    QPainter painter(&image);
    const QColor colours[] = {Qt::red,     Qt::green, Qt::blue,  Qt::yellow,
                              Qt::magenta, Qt::cyan,  Qt::white, QColor(255, 128, 0)};
    for (int i = 0; i < 8; ++i) {
        painter.fillRect((i % 4) * kScreen.width() / 4, (i / 4) * kScreen.height() / 2, kScreen.width() / 4,
                         kScreen.height() / 2, colours[i]);
    }
    return image;
}

// Largest channel difference at points inside the blocks, away from their
// edges and from the bottom strip, where the receiver puts its stop button
// and the sharer's name.
int difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull()) {
        return 256;
    }
    int worst = 0;
    for (int y = 30; y < a.height() - 80; y += 23) {
        for (int x = 30; x < a.width() - 30; x += 27) {
            if (std::abs(x - a.width() / 4) < 12 || std::abs(x - a.width() / 2) < 12 ||
                std::abs(x - 3 * a.width() / 4) < 12 || std::abs(y - a.height() / 2) < 12) {
                continue;
            }
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

QString shotPath(const QString& name)
{
    return QStringLiteral(VANTELOR_BIN_DIR) + "/../tests/roomshares-" + name + ".png";
}

QString randomLoopback()
{
    const quint32 octets = QRandomGenerator::global()->bounded(1u << 16, 1u << 24);
    return QString("127.%1.%2.%3").arg(octets >> 16).arg((octets >> 8) & 0xff).arg(octets & 0xff);
}

// A meeting room: a full-screen receiver on its own X server, registered.
struct Room
{
    XvfbServer screen;
    QProcess process;
    QString output;
    QString address;
    QString code;     // 5 characters
    QString roomCode; // 4 characters, from the service

    QImage shot(const QString& name)
    {
        return screen.screenshot(shotPath(name)).convertToFormat(QImage::Format_RGB32);
    }
    // Projections started and ended so far: equal when nothing runs.
    int started() const { return output.count("projection started"); }
    int ended() const { return output.count("stream: "); }
};

class BusyCallback : public IP2PDsClientSessionCb
{
public:
    void onProjectionSuccess() override { last = "success"; }
    void onProjectionRejected(int32_t) override { last = "rejected"; }
    void onBusying() override { last = "busy"; }
    void onProjectionStopped() override { last = "stopped"; }
    void onNoStreamProjectionCommandResponse(int32_t) override { last = "no response"; }
    std::atomic<const char*> last{""};
};

// Another PC's conference process, driven over a local server of the test's
// own: what a colleague's client would send it.
class OtherPc
{
public:
    bool start(const QProcessEnvironment& environment)
    {
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        if (!m_server.listen(TestEnvironment::root() + "/other-pc-" + QString::number(++s_count))) {
            return false;
        }
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        const QJsonObject start{{"operation", "setservername"},
                                {"clientappid", "local-conference-app"},
                                {"servername", m_server.fullServerName()}};
        m_process.start(TestEnvironment::binary("TandemlinkSdk/TandemlinkSdk"),
                        {QString::fromUtf8(QJsonDocument(start).toJson())});
        if (!m_server.waitForNewConnection(10000)) {
            return false;
        }
        m_socket = m_server.nextPendingConnection();
        QObject::connect(m_socket, &QLocalSocket::readyRead, [this] {
            for (const QByteArray& object : m_scanner.feed(m_socket->readAll())) {
                messages << QJsonDocument::fromJson(object).object();
            }
        });
        return true;
    }
    void send(const QJsonObject& command)
    {
        m_socket->write(QJsonDocument(command).toJson());
        m_socket->flush();
    }
    // The data of the last message of this type, empty while there is none.
    QJsonObject last(int type) const
    {
        for (int i = messages.size() - 1; i >= 0; --i) {
            if (messages.at(i).value("type").toInt() == type) {
                return messages.at(i).value("data").toObject();
            }
        }
        return QJsonObject();
    }
    ~OtherPc()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    QList<QJsonObject> messages;

private:
    static inline int s_count = 0;
    QLocalServer m_server;
    QLocalSocket* m_socket = nullptr;
    CJsonObjectScanner m_scanner;
    QProcess m_process;
};
} // namespace

class TestRoomShares : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void initTestCase()
    {
        CSystemPing::setProgram(TestEnvironment::binary("vantelor-ping"));
        QVERIFY(m_service.start());
        // The conference process's file, pointing at this test's service.
        m_config = TestEnvironment::root() + "/tandemlink.ini";
        QFile config(m_config);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QString("serviceOrigin=%1\nappId=local-conference-app\nappKey=local-conference-key\n")
                         .arg(m_service.origin())
                         .toUtf8());
        config.close();

        QVERIFY(m_pc.start(kScreen));
        const QString file = TestEnvironment::root() + "/pattern.png";
        QVERIFY(pattern().save(file));
        QProcess::execute("display", {"-display", m_pc.display(), "-window", "root", file});
        m_pcShot = m_pc.screenshot(shotPath("pc")).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(difference(m_pcShot, pattern()), 0);
        m_pc.useForThisProcess();
        for (Room* room : {&m_rooms[0], &m_rooms[1]}) {
            QVERIFY(room->screen.start(kScreen));
        }
    }

    void init()
    {
        QVERIFY(m_service.reset());
        Standin::reset();
        Standin::unset("SHARE");
        Standin::set("CONFIG", m_config);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(startReceiver(m_rooms[i]));
            m_idle[i] = m_rooms[i].shot(QString("room%1-idle").arg(i + 1));
            QVERIFY(difference(m_idle[i], m_pcShot) > 100);
        }
        page = new PageProject;
        page->show();
        QApplication::setActiveWindow(page);
        QVERIFY(QTest::qWaitForWindowActive(page));
    }

    void cleanup()
    {
        delete page;
        page = nullptr;
        // Ends the conference process too.
        CShareWrapper::instance(true);
        for (Room& room : m_rooms) {
            if (room.process.processId() > 0) {
                ::kill(static_cast<pid_t>(room.process.processId()), SIGCONT);
            }
            room.process.kill();
            room.process.waitForFinished();
        }
    }

    // Each kind of share puts the PC's picture on its room(s) and no other;
    // stopping from the page ends it everywhere.
    void picturesReachTheRightReceivers_data()
    {
        QTest::addColumn<QString>("first");  // "room1" (4 characters) or "code2" (5 characters)
        QTest::addColumn<QString>("second"); // "" for a single code
        QTest::addColumn<QList<bool>>("shown");
        QTest::newRow("4-character share") << "room1"
                                           << "" << QList<bool>{true, false};
        QTest::newRow("5-character projection") << "code2"
                                                << "" << QList<bool>{false, true};
        QTest::newRow("dual projection") << "room1"
                                         << "code2" << QList<bool>{true, true};
    }
    void picturesReachTheRightReceivers()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QList<bool>, shown);
        project({codeFor(first), codeFor(second)});
        const QString row = QString(QTest::currentDataTag()).replace(' ', '-');
        for (int i = 0; i < 2; ++i) {
            const QString name = QString("%1-room%2").arg(row).arg(i + 1);
            if (shown[i]) {
                QTRY_VERIFY_WITH_TIMEOUT(difference(m_rooms[i].shot(name), m_pcShot) <= 40, 10000);
            } else {
                QVERIFY(difference(m_rooms[i].shot(name), m_idle[i]) <= 2);
                QCOMPARE(m_rooms[i].started(), 0);
            }
        }
        QTest::mouseClick(startButton(), Qt::LeftButton);
        for (int i = 0; i < 2; ++i) {
            if (shown[i]) {
                QTRY_VERIFY_WITH_TIMEOUT(m_rooms[i].output.contains("projection stopped by sender"), 5000);
                QTRY_VERIFY_WITH_TIMEOUT(difference(m_rooms[i].shot(row + "-stopped"), m_idle[i]) <= 2, 5000);
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("开始投屏"), 5000);
        QVERIFY(!CShareWrapper::instance()->isSharing());
    }

    // A share to a room takes over whatever it shows; the one replaced hears why.
    void shareTakesTheRoomOver_data()
    {
        QTest::addColumn<QString>("shown"); // what the page put on room 1 first
        QTest::addColumn<QString>("message");
        QTest::newRow("a 4-character share") << "room1" << QStringLiteral("投屏已停止,因为被其他人抢投");
        QTest::newRow("a 5-character projection") << "code1" << QString();
    }
    void shareTakesTheRoomOver()
    {
        QFETCH(QString, shown);
        QFETCH(QString, message);
        project({codeFor(shown)});
        QTRY_VERIFY_WITH_TIMEOUT(difference(m_rooms[0].shot("takeover-before"), m_pcShot) <= 40, 10000);
        if (shown == "room1") {
            // A 5-character sender still finds the room busy.
            BusyCallback callback;
            P2PDsClientSessionProxy third(&callback);
            P2PDsClientSettings settings;
            settings.kind = 0;
            settings.entryCount = 1;
            std::strcpy(settings.entries[0], m_rooms[0].code.toLatin1().constData());
            third.startProjection(settings);
            QTRY_COMPARE(QString(callback.last.load()), QString("busy"));
        }

        // A colleague's PC, whose screen is room 2's idle screen, shares to room 1.
        QProcessEnvironment environment = m_rooms[1].screen.environment();
        environment.insert("TANDEMLINK_STANDIN_CONFIG", m_config);
        environment.remove("TANDEMLINK_STANDIN_SHARE");
        OtherPc colleague;
        QVERIFY(colleague.start(environment));
        colleague.send({{"operation", "sharestart"},
                        {"clientappid", "local-conference-app"},
                        {"screencode", m_rooms[0].roomCode.toLower()},
                        {"memebername", "赵一鸣 <b>PC</b>"}});
        QTRY_COMPARE_WITH_TIMEOUT(colleague.last(10001).value("success"), QJsonValue(true), 15000);
        QVERIFY(m_rooms[0].output.contains("projection taken over by another sender"));
        // The PC's picture is gone: room 1 shows the colleague's screen (text, so compared coarsely).
        QTRY_VERIFY_WITH_TIMEOUT(difference(m_rooms[0].shot("takeover-after"), m_pcShot) > 100, 10000);
        // The sharer's name, as plain text.
        QVERIFY(m_rooms[0].output.contains("sharer: 赵一鸣 <b>PC</b>"));

        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("开始投屏"), 5000);
        QCOMPARE(tip()->isVisible(), !message.isEmpty());
        if (!message.isEmpty()) {
            QCOMPARE(tip()->text(), message);
        }
        page->grab().save(shotPath("takeover-page"));
    }

    void failedSharesSayWhy_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown code")
            << "unknown" << QStringLiteral("投屏码不存在,请核对会议室屏幕上的4位投屏码");
        QTest::newRow("receiver not answering")
            << "noReceiver" << QStringLiteral("会议室接收端无响应,请确认接收端已开启");
        QTest::newRow("service down") << "down" << QStringLiteral("无法连接投屏服务,请检查网络后重试");
        QTest::newRow("service answers garbage")
            << "nonJson" << QStringLiteral("无法连接投屏服务,请检查网络后重试");
        QTest::newRow("receiver killed mid-share") << "kill" << QStringLiteral("网络不稳定导致投屏已停止");
        QTest::newRow("receiver frozen mid-share") << "freeze" << QStringLiteral("网络不稳定导致投屏已停止");
    }
    void failedSharesSayWhy()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        QString code = m_rooms[0].roomCode;
        if (fault == "unknown") {
            code = "ZZ99";
        } else if (fault == "noReceiver") {
            // A room whose receiver is not there at all.
            code = registerRoomAt(randomLoopback(), 9);
        } else if (fault == "down" || fault == "nonJson") {
            QVERIFY(m_service.setFault(QJsonObject{{"endpoint", "roomLookup"}, {"mode", fault}}));
        }
        QVERIFY(!code.isEmpty());
        QTest::keyClicks(codeField(), code);
        QTest::mouseClick(startButton(), Qt::LeftButton);
        if (fault == "kill" || fault == "freeze") {
            QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("停止投屏"), 15000);
            ::kill(static_cast<pid_t>(m_rooms[0].process.processId()), fault == "kill" ? SIGKILL : SIGSTOP);
        }
        QTRY_VERIFY_WITH_TIMEOUT(tip()->isVisible(), 15000);
        QCOMPARE(tip()->text(), message);
        page->grab().save(shotPath("failed-" + fault));
        // Nothing left running: the page is idle and the other room saw nothing.
        QCOMPARE(startButton()->text(), QStringLiteral("开始投屏"));
        QVERIFY(!CShareWrapper::instance()->isSharing());
        QCOMPARE(m_rooms[1].started(), 0);
        if (fault != "kill" && fault != "freeze") {
            QCOMPARE(m_rooms[0].started(), 0);
        }
        QVERIFY(!Standin::log().contains("sharing the screen to room"));
    }

    // The conference process that shares to a room ends (a crash, a kill): the
    // receiver goes back to its idle screen and the page back to its start.
    void endedConferenceProcessEndsTheShare()
    {
        project({m_rooms[0].roomCode});
        QTRY_VERIFY_WITH_TIMEOUT(difference(m_rooms[0].shot("process-killed-before"), m_pcShot) <= 40, 10000);
        qint64 conferencePid = 0;
        for (qint64 pid : ProcessTree::of(QCoreApplication::applicationPid(), false).pids) {
            QFile comm(QString("/proc/%1/comm").arg(pid));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "TandemlinkSdk") {
                conferencePid = pid;
            }
        }
        QVERIFY(conferencePid > 0);
        QCOMPARE(::kill(static_cast<pid_t>(conferencePid), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_rooms[0].output.contains("projection ended by sender") ||
                                     m_rooms[0].output.contains("projection lost"),
                                 5000);
        QTRY_VERIFY_WITH_TIMEOUT(difference(m_rooms[0].shot("process-killed-after"), m_idle[0]) <= 2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("开始投屏"), 5000);
        QVERIFY(!CShareWrapper::instance()->isSharing());
    }

    // A receiver killed in its room stops renewing: once its record has run out,
    // its code is unknown on the page and no receiver is started.
    void killedReceiverLeavesItsRoom()
    {
        QVERIFY(m_service.control("POST", "/__control/rooms", QJsonObject{{"lifetimeMs", 900}})
                    .value("ok")
                    .toBool());
        // Registered again, it learns the short lifetime.
        m_rooms[0].process.kill();
        m_rooms[0].process.waitForFinished();
        QVERIFY(startReceiver(m_rooms[0]));
        const QString code = m_rooms[0].roomCode;
        QVERIFY(roomCodes().contains(code));
        m_rooms[0].process.kill();
        m_rooms[0].process.waitForFinished();
        QTRY_VERIFY_WITH_TIMEOUT(!roomCodes().contains(code), 5000);

        QTest::keyClicks(codeField(), code);
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(tip()->isVisible(), 15000);
        QCOMPARE(tip()->text(), QStringLiteral("投屏码不存在,请核对会议室屏幕上的4位投屏码"));
        QCOMPARE(startButton()->text(), QStringLiteral("开始投屏"));
        QVERIFY(!CShareWrapper::instance()->isSharing());
    }

private:
    QStringList roomCodes()
    {
        QStringList codes;
        for (const QJsonValue& room : m_service.control("GET", "/__control/rooms").value("rooms").toArray()) {
            codes << room.toObject().value("code").toString();
        }
        return codes;
    }

    QPushButton* startButton() const { return page->findChild<QPushButton*>("btn_start"); }
    QLineEdit* codeField() const { return page->findChild<QLineEdit*>("edit_code1"); }
    QLabel* tip() const { return page->findChild<QLabel*>("tip_pro"); }

    QString codeFor(const QString& name) const
    {
        if (name.isEmpty()) {
            return QString();
        }
        const Room& room = m_rooms[name.right(1).toInt() - 1];
        return name.startsWith("room") ? room.roomCode : room.code;
    }

    bool startReceiver(Room& room)
    {
        room.output.clear();
        room.address = randomLoopback();
        QObject::disconnect(&room.process, nullptr, this, nullptr);
        connect(&room.process, &QProcess::readyReadStandardOutput, this,
                [&room] { room.output += QString::fromUtf8(room.process.readAllStandardOutput()); });
        room.process.setProcessEnvironment(room.screen.environment());
        room.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        room.process.start(
            TestEnvironment::binary("vantelor-receiver"),
            {"--address", room.address, "--register", m_service.origin(), "--credentials", m_config});
        if (!QTest::qWaitFor([&] { return room.output.contains("room code: "); }, 10000)) {
            qWarning("receiver: %s", qPrintable(room.output));
            return false;
        }
        room.code = room.output.section("code: ", 1).section('\n', 0, 0).trimmed();
        room.roomCode = room.output.section("room code: ", 1).section('\n', 0, 0).trimmed();
        // The idle screen with both codes is painted by now.
        QTest::qWait(300);
        return room.code.size() == 5 && room.roomCode.size() == 4;
    }

    void project(const QStringList& codes)
    {
        QTest::keyClicks(codeField(), codes.value(0));
        if (!codes.value(1).isEmpty()) {
            QTest::mouseClick(page->findChild<QPushButton*>("btn_add"), Qt::LeftButton);
            QTest::keyClicks(page->findChild<QLineEdit*>("edit_code2"), codes.value(1));
        }
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(startButton()->text(), QStringLiteral("停止投屏"), 15000);
    }

    QString registerRoomAt(const QString& address, int port)
    {
        // As a receiver would, with the app credentials.
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        QNetworkRequest request(QUrl(m_service.origin() + "/api/rooms/register"));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        request.setRawHeader("X-Conference-App-Id", "local-conference-app");
        request.setRawHeader("X-Conference-App-Key", "local-conference-key");
        QNetworkReply* reply = manager.post(
            request,
            QJsonDocument(QJsonObject{{"name", "空会议室"}, {"address", address}, {"port", port}}).toJson());
        QSignalSpy finished(reply, &QNetworkReply::finished);
        finished.wait(10000);
        const QString code = QJsonDocument::fromJson(reply->readAll())
                                 .object()
                                 .value("content")
                                 .toObject()
                                 .value("code")
                                 .toString();
        delete reply;
        return code;
    }

    QJsonArray rooms() { return m_service.control("GET", "/__control/rooms").value("rooms").toArray(); }

    LocalServiceProcess m_service;
    QString m_config;
    XvfbServer m_pc;
    QImage m_pcShot;
    Room m_rooms[2];
    QImage m_idle[2];
    PageProject* page = nullptr;
};

QTEST_MAIN(TestRoomShares)
#include "tst_roomshares.moc"
