#include "conference/ipcserver.h"
#include "conference/tandemlinkapi.h"
#include "conference/tandemlinkproc.h"
#include "standin.h"
#include "support/testenvironment.h"
#include "support/timerticks.h"

#include <QLocalSocket>
#include <QtTest>

#include <sys/stat.h>

// The conference process and its local socket, with the real stand-in process.
class TestTandemlinkProc : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void init()
    {
        Standin::reset();
        CIPCServer::setHeartbeatInterval(21000);
        m_events.clear();
        CTandemlinkProc* proc = CTandemlinkProc::instance().get();
        connect(proc, &CTandemlinkProc::shareStarted, this, [this] { m_events << "shareStarted"; });
        connect(proc, &CTandemlinkProc::shareStoped, this, [this] { m_events << "shareStoped"; });
        connect(proc, &CTandemlinkProc::shareError, this, [this](const QString& code, const QString& msg) {
            m_events << "shareError " + code + " " + msg;
        });
        connect(proc, &CTandemlinkProc::meetingStarted, this, [this] { m_events << "meetingStarted"; });
        connect(proc, &CTandemlinkProc::meetingStoped, this, [this] { m_events << "meetingStoped"; });
        connect(proc, &CTandemlinkProc::meetingError, this,
                [this](const QString& msg) { m_events << "meetingError " + msg; });
        connect(proc, &CTandemlinkProc::shareStopFailed, this,
                [this](const QString& code, const QString& msg) {
                    m_events << "shareStopFailed " + code + " " + msg;
                });
        connect(proc, &CTandemlinkProc::meetingStopFailed, this,
                [this](const QString& msg) { m_events << "meetingStopFailed " + msg; });
    }

    void cleanup() { CTandemlinkProc::instance(true); }

    void serverIsTheUsersOnly()
    {
        QVERIFY(proc().exeCmd(shareStart()));
        const QString path = TestEnvironment::runtimeDir() + "/tandemlink_sdk_ipc_server";
        QCOMPARE(CTandemlinkAPI::instance()->fullServerName(), path);
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QVERIFY(S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_mode & 0777, mode_t(S_IRWXU));
        QTRY_COMPARE(m_events, QStringList{"shareStarted"});
    }

    // The process connects at once but stays quiet for a while: the command
    // waits for its first data, not for the connection.
    void commandWaitsForTheProcessFirstData()
    {
        Standin::set("FIRST_DATA_MS", "700");
        QVERIFY(proc().exeCmd(shareStart()));
        QTRY_COMPARE(m_events, QStringList{"shareStarted"});

        const QString log = Standin::log();
        const int connected = log.indexOf("connected to");
        const int firstData = log.indexOf("sending the first heartbeat");
        const int received = log.indexOf("received sharestart");
        QVERIFY2(connected >= 0 && connected < firstData && firstData < received, qPrintable(log));
    }

    void replies_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("fail");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("lastError");

        QTest::newRow("sharestart ok") << "sharestart" << false << QStringList{"shareStarted"} << "";
        QTest::newRow("sharestart failed") << "sharestart" << true << QStringList{"shareError 3021 接收端忙"}
                                           << "TandemlinkProc: SDK can't start share";
        QTest::newRow("sharestop ok") << "sharestop" << false << QStringList{"shareStoped"} << "";
        // A refused stop is no stop: the receiver may still show the screen.
        QTest::newRow("sharestop failed")
            << "sharestop" << true << QStringList{"shareStopFailed 3021 接收端忙"}
            << "TandemlinkProc: SDK can't stop share";
        QTest::newRow("conferencestart ok")
            << "conferencestart" << false << QStringList{"meetingStarted"} << "";
        QTest::newRow("conferencestart failed")
            << "conferencestart" << true << QStringList{"meetingError 接收端忙"}
            << "TandemlinkProc: SDK can't start meeting";
        QTest::newRow("conferencedisconnect ok")
            << "conferencedisconnect" << false << QStringList{"meetingStoped"} << "";
        QTest::newRow("conferencedisconnect failed")
            << "conferencedisconnect" << true << QStringList{"meetingStopFailed 接收端忙"}
            << "TandemlinkProc: SDK can't stop meeting";
    }

    void replies()
    {
        QFETCH(QString, operation);
        QFETCH(bool, fail);
        QFETCH(QStringList, events);
        QFETCH(QString, lastError);
        if (fail) {
            Standin::set("FAIL", operation);
            Standin::set("ERROR_CODE", "3021");
            Standin::set("ERROR_MSG", "接收端忙");
        }
        QVERIFY(proc().exeCmd(command(operation)));
        QTRY_COMPARE(m_events, events);
        QCOMPARE(proc().lastError(), lastError);
    }

    void notifications_data()
    {
        QTest::addColumn<QString>("notify");
        QTest::addColumn<QStringList>("effect");

        QTest::newRow("80999 below the range") << "projection:80999:bye" << QStringList{};
        QTest::newRow("81000 first of the range")
            << "projection:81000:断开" << QStringList{"shareError 81000 断开"};
        QTest::newRow("90310 last of the range")
            << "conference:90310:会议已结束" << QStringList{"meetingError 会议已结束"};
        QTest::newRow("90311 above the range") << "conference:90311:会议已结束" << QStringList{};
        QTest::newRow("81001 bye") << "projection:81001:bye"
                                   << QStringList{"shareError 81001 投屏已停止,因为被其他人抢投"};
        QTest::newRow("81001 ICE state failed") << "projection:81001:ICE state failed"
                                                << QStringList{"shareError 81001 网络不稳定导致投屏已停止"};
        QTest::newRow("81002 bye passes") << "projection:81002:bye" << QStringList{"shareError 81002 bye"};
        QTest::newRow("81001 other text passes")
            << "projection:81001:a:b" << QStringList{"shareError 81001 a:b"};
        QTest::newRow("other module") << "audio:81000:x" << QStringList{};
    }

    // The notification follows the reply to sharestart; the reply to the
    // sharestop sent next proves everything before it was read.
    void notifications()
    {
        QFETCH(QString, notify);
        QFETCH(QStringList, effect);
        Standin::set("NOTIFY", "sharestart:" + notify);
        QVERIFY(proc().exeCmd(shareStart()));
        QTRY_VERIFY(!m_events.isEmpty());
        QVERIFY(proc().exeCmd(command("sharestop")));
        QTRY_COMPARE(m_events, QStringList{"shareStarted"} + effect + QStringList{"shareStoped"});
    }

    void framing_data()
    {
        QTest::addColumn<QString>("switchName");
        QTest::addColumn<QString>("notify");
        QTest::addColumn<QStringList>("events");

        QTest::newRow("one message over two writes") << "SPLIT"
                                                     << "" << QStringList{"shareStarted"};
        QTest::newRow("reply and notification in one write")
            << "JOIN"
            << "sharestart:projection:81001:bye"
            << QStringList{"shareStarted", "shareError 81001 投屏已停止,因为被其他人抢投"};
        QTest::newRow("reply and heartbeat in one write") << "JOIN"
                                                          << "" << QStringList{"shareStarted"};
        QTest::newRow("split reply and notification")
            << "SPLIT"
            << "sharestart:conference:81000:x" << QStringList{"shareStarted", "meetingError x"};
    }

    void framing()
    {
        QFETCH(QString, switchName);
        QFETCH(QString, notify);
        QFETCH(QStringList, events);
        Standin::set(switchName.toLatin1().constData(), "1");
        if (!notify.isEmpty()) {
            Standin::set("NOTIFY", notify);
        }
        QVERIFY(proc().exeCmd(shareStart()));
        QTRY_COMPARE(m_events, events);
        QVERIFY(proc().exeCmd(command("sharestop")));
        QTRY_COMPARE(m_events, events + QStringList{"shareStoped"});
    }

    // Beats keep a quiet conference going; silence for two periods ends the
    // process, and the next command starts a new one.
    void silenceClosesTheProcess()
    {
        CIPCServer::setHeartbeatInterval(300);
        Standin::set("HEARTBEAT_MS", "100");
        Standin::set("SILENT_AFTER", "sharestop");
        QVERIFY(proc().exeCmd(command("conferencestart")));
        QTRY_COMPARE(m_events, QStringList{"meetingStarted"});
        // Three more checks of the heartbeat, each of which found the process alive.
        TimerTicks checks(proc().findChild<CIPCServer*>());
        QTRY_VERIFY_WITH_TIMEOUT(checks.count() >= 3, 5000);
        QCOMPARE(m_events, QStringList{"meetingStarted"});

        QVERIFY(proc().exeCmd(command("sharestop")));
        QTRY_COMPARE(m_events, (QStringList{"meetingStarted", "shareStoped"}));
        QTRY_COMPARE_WITH_TIMEOUT(
            m_events, (QStringList{"meetingStarted", "shareStoped", "shareStoped", "meetingStoped"}), 5000);
        QCOMPARE(Standin::pids().size(), 1);

        Standin::unset("SILENT_AFTER");
        m_events.clear();
        QVERIFY(proc().exeCmd(shareStart()));
        QTRY_COMPARE(m_events, QStringList{"shareStarted"});
        QCOMPARE(Standin::pids().size(), 2);
    }

    void processEnds_data()
    {
        QTest::addColumn<QString>("switchName");
        QTest::newRow("crash") << "CRASH_AFTER";
        QTest::newRow("exit") << "EXIT_AFTER";
    }

    void processEnds()
    {
        QFETCH(QString, switchName);
        Standin::set(switchName.toLatin1().constData(), "conferencestart");
        QVERIFY(proc().exeCmd(command("conferencestart")));
        QTRY_COMPARE(m_events, (QStringList{"meetingStarted", "shareStoped", "meetingStoped"}));

        Standin::unset(switchName.toLatin1().constData());
        m_events.clear();
        QVERIFY(proc().exeCmd(command("conferencestart")));
        QTRY_COMPARE(m_events, QStringList{"meetingStarted"});
        QCOMPARE(Standin::pids().size(), 2);
    }

    void processEndsWhileAStartWaits_data()
    {
        QTest::addColumn<QString>("switchName");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("events");
        const QStringList share{"shareError 1 会议程序已退出,投屏未能开始", "meetingStoped"};
        const QStringList meeting{"shareStoped", "meetingError 会议程序已退出,未能加入会议"};
        QTest::newRow("crash, share") << "CRASH_AFTER"
                                      << "sharestart" << share;
        QTest::newRow("exit, share") << "EXIT_AFTER"
                                     << "sharestart" << share;
        QTest::newRow("crash, conference") << "CRASH_AFTER"
                                           << "conferencestart" << meeting;
        QTest::newRow("exit, conference") << "EXIT_AFTER"
                                          << "conferencestart" << meeting;
    }

    // A start the process never answered failed; it did not start and stop.
    void processEndsWhileAStartWaits()
    {
        QFETCH(QString, switchName);
        QFETCH(QString, operation);
        QFETCH(QStringList, events);
        Standin::set("NO_REPLY", operation);
        Standin::set(switchName.toLatin1().constData(), operation);
        QVERIFY(proc().exeCmd(command(operation)));
        QTRY_COMPARE(m_events, events);
        QCOMPARE(Standin::pids().size(), 1);
    }

    // Only the process the client started is served: another process of the
    // same user that connects gets no command, and what it sends counts for
    // nothing.
    void onlyTheStartedProcessIsServed()
    {
        QVERIFY(proc().exeCmd(shareStart()));
        QTRY_COMPARE(m_events, QStringList{"shareStarted"});

        QLocalSocket intruder;
        QByteArray heard;
        connect(&intruder, &QLocalSocket::readyRead, this, [&] { heard += intruder.readAll(); });
        intruder.connectToServer(CTandemlinkAPI::instance()->fullServerName());
        QVERIFY(intruder.waitForConnected(2000));
        intruder.write(
            R"({"type": 10002, "data": {"module": "projection", "errorCode": 81001, "errorMsg": "bye"}})");
        intruder.flush();
        QTRY_COMPARE(intruder.state(), QLocalSocket::UnconnectedState);

        QVERIFY(proc().exeCmd(command("sharestop")));
        QTRY_COMPARE(m_events, (QStringList{"shareStarted", "shareStoped"}));
        QCOMPARE(Standin::received().size(), 2);
        QCOMPARE(heard, QByteArray());
    }

    // Commands queued for a process that could not be started were reported
    // as unanswered; once the heartbeat gives up on it they are dropped rather
    // than handed to the next process.
    void commandsOfAProcessThatNeverCameAreDropped()
    {
        CIPCServer::setHeartbeatInterval(200);
        CTandemlinkAPI::instance()->setSdkPath(TestEnvironment::root() + "/no-such-sdk");
        QSignalSpy gaveUp(proc().findChild<CIPCServer*>(), &CIPCServer::heartBeatFail);
        QVERIFY(proc().exeCmd(command("conferencestart")));
        QVERIFY(gaveUp.wait(5000));

        Standin::reset();
        QVERIFY(proc().exeCmd(shareStart()));
        QTRY_COMPARE(m_events, QStringList{"shareStarted"});
        QCOMPARE(Standin::received().size(), 1);
    }

    void emptyCommandIsRefused()
    {
        QVERIFY(!proc().exeCmd(QJsonObject()));
        QCOMPARE(proc().lastError(), QString("invalid cmd"));
    }

    void serverThatCannotListen()
    {
        CTandemlinkAPI::instance()->setServerName(TestEnvironment::root() + "/no-such-dir/server");
        QVERIFY(!proc().exeCmd(shareStart()));
        QCOMPARE(proc().lastError(), QString("can't init tandemlink local tcp server"));
        QVERIFY(Standin::pids().isEmpty());
    }

private:
    static CTandemlinkProc& proc() { return *CTandemlinkProc::instance(); }
    static QJsonObject shareStart() { return command("sharestart"); }
    static QJsonObject command(const QString& operation)
    {
        return QJsonObject{{"operation", operation},  {"clientappid", "app"}, {"screencode", "AB12"},
                           {"conferenceuuid", "c-1"}, {"memberid", "m-1"},    {"membername", "someone"}};
    }

    QStringList m_events;
};

QTEST_GUILESS_MAIN(TestTandemlinkProc)
#include "tst_tandemlinkproc.moc"
