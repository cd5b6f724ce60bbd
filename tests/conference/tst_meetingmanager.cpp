#include "account/logininfo.h"
#include "account/signedinuser.h"
#include "conference/ipcserver.h"
#include "conference/meetingcallback.h"
#include "conference/meetingmanager.h"
#include "conference/tandemlinkapi.h"
#include "conference/tandemlinkproc.h"
#include "core/apiconfig.h"
#include "standin.h"
#include "support/testenvironment.h"

#include <QWebChannel>
#include <QtTest>

// Conferences from the web bridge through the manager to the real stand-in
// process and back.
class TestMeetingManager : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void init()
    {
        Standin::reset();
        CMeetingManager::setNoResponseTimeout(400);
        CSignedInUser::setProvider(nullptr);
        CLoginInfo::instance(true);
        m_events.clear();
        m_bridge = qobject_cast<CMeetingCallback*>(
            manager().getWebChannel()->registeredObjects().value("MeetingCallback"));
        QVERIFY(m_bridge);
        connect(m_bridge, &CMeetingCallback::onMeetingStarted, this,
                [this](QString id) { m_events << "started " + id; });
        connect(m_bridge, &CMeetingCallback::onMeetingStoped, this,
                [this](QString id) { m_events << "stoped " + id; });
        connect(m_bridge, &CMeetingCallback::onMeetingError, this,
                [this](QString code, QString msg) { m_events << "error " + code + " " + msg; });
    }

    void cleanup()
    {
        CMeetingManager::instance(true);
        CTandemlinkProc::instance(true);
    }

    void startAndStopThroughTheBridge()
    {
        QCOMPARE(m_bridge->getCurMeetingId(), QString("null"));
        m_bridge->startMeeting("c-1", "m-1", "页面名字");
        QTRY_COMPARE(m_events, QStringList{"started c-1"});
        QVERIFY(manager().isInMeeting());
        QCOMPARE(m_bridge->getCurMeetingId(), QString("c-1"));

        // The no-response timer of an answered command does nothing: a timer
        // of the same time started after it has fired by then.
        QTimer pastNoResponse;
        pastNoResponse.setSingleShot(true);
        QSignalSpy past(&pastNoResponse, &QTimer::timeout);
        pastNoResponse.start(400);
        QVERIFY(past.wait());
        QCOMPARE(m_events, QStringList{"started c-1"});

        m_bridge->stopMeeting("c-1", "m-1");
        QTRY_COMPARE(m_events, (QStringList{"started c-1", "stoped c-1"}));
        QVERIFY(!manager().isInMeeting());
        QCOMPARE(m_bridge->getCurMeetingId(), QString("null"));

        const QList<QJsonObject> sent = Standin::received();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0).keys(),
                 (QStringList{"clientappid", "conferenceuuid", "memberid", "membername", "operation"}));
        QCOMPARE(sent.at(0).value("operation").toString(), QString("conferencestart"));
        QCOMPARE(sent.at(0).value("conferenceuuid").toString(), QString("c-1"));
        QCOMPARE(sent.at(0).value("memberid").toString(), QString("m-1"));
        QCOMPARE(sent.at(1).keys(), (QStringList{"clientappid", "conferenceuuid", "memberid", "operation"}));
        QCOMPARE(sent.at(1).value("operation").toString(), QString("conferencedisconnect"));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("start");
        QTest::addColumn<QStringList>("paras");
        QTest::addColumn<QString>("errCode");
        QTest::addColumn<QString>("errMsg");

        const QStringList three{"c-1", "m-1", "name"};
        QTest::newRow("100 in a conference")
            << "inMeeting" << true << QStringList{"c-2", "m-1", "name"} << "100"
            << "start meeting err: already in meeting.";
        QTest::newRow("100 while a stop waits") << "stopWaiting" << true << three << "100"
                                                << "start meeting err: already in meeting.";
        QTest::newRow("101 two values") << "idle" << true << QStringList{"c-1", "m-1"} << "101"
                                        << "start meeting err: invalid parameters.";
        QTest::newRow("101 four values") << "idle" << true << (three + QStringList{"x"}) << "101"
                                         << "start meeting err: invalid parameters.";
        QTest::newRow("102 while a start waits") << "startWaiting" << true << three << "102"
                                                 << "start meeting err: waiting last operation to finish.";
        QTest::newRow("200 idle") << "idle" << false << QStringList{"c-1", "m-1"} << "200"
                                  << "stop meeting err: not in meeting now, needn't stop.";
        QTest::newRow("200 while a start waits")
            << "startWaiting" << false << QStringList{"c-1", "m-1"} << "200"
            << "stop meeting err: not in meeting now, needn't stop.";
        QTest::newRow("200 another conference") << "inMeeting" << false << QStringList{"c-2", "m-1"} << "200"
                                                << "stop meeting err: conferenceuuid not match.";
        QTest::newRow("201 one value") << "inMeeting" << false << QStringList{"c-1"} << "201"
                                       << "stop meeting err: invalid parameters.";
        QTest::newRow("202 while a stop waits")
            << "stopWaiting" << false << QStringList{"c-1", "m-1"} << "202"
            << "stop meeting err: waiting last operation to finish.";
    }

    // A refused request changes nothing and sends nothing.
    void refusals()
    {
        QFETCH(QString, state);
        QFETCH(bool, start);
        QFETCH(QStringList, paras);
        QFETCH(QString, errCode);
        QFETCH(QString, errMsg);
        bringTo(state);
        const int sent = Standin::received().size();
        const QString uuid = manager().conferenceUuid();
        const bool inMeeting = manager().isInMeeting();

        QVERIFY(!(start ? manager().startMeeting(paras) : manager().stopMeeting(paras)));
        QCOMPARE(manager().errCode(), errCode);
        QCOMPARE(manager().errMsg(), errMsg);
        QCOMPARE(manager().conferenceUuid(), uuid);
        QCOMPARE(manager().isInMeeting(), inMeeting);
        // A refused command is never sent: a margin in which a sent one would arrive.
        QTest::qWait(100);
        QCOMPARE(Standin::received().size(), sent);
    }

    void bridgeForwardsRefusals()
    {
        bringTo("startWaiting");
        m_bridge->startMeeting("c-1", "m-1", "name");
        QCOMPARE(m_events, QStringList{"error 102 start meeting err: waiting last operation to finish."});
    }

    void commandThatCannotBeHandedOver_data()
    {
        QTest::addColumn<bool>("start");
        QTest::newRow("start 106") << true;
        QTest::newRow("stop 205") << false;
    }

    void commandThatCannotBeHandedOver()
    {
        QFETCH(bool, start);
        const QString badServer = TestEnvironment::root() + "/no-such-dir/server";
        if (start) {
            CTandemlinkAPI::instance()->setServerName(badServer);
            QVERIFY(!manager().startMeeting({"c-1", "m-1", "name"}));
            QCOMPARE(manager().errCode(), QString("106"));
            QCOMPARE(manager().errMsg(),
                     QString("start meeting err: can't init tandemlink local tcp server"));
            QCOMPARE(manager().conferenceUuid(), QString());
            return;
        }
        // In a conference whose process never came (the start was queued),
        // and then a server that can no longer listen.
        CTandemlinkAPI::instance()->setSdkPath(TestEnvironment::root() + "/no-such-sdk");
        QVERIFY(manager().startMeeting({"c-1", "m-1", "name"}));
        emit CTandemlinkProc::instance()->meetingStarted();
        QVERIFY(manager().isInMeeting());
        CTandemlinkProc::instance(true);
        CTandemlinkAPI::instance()->setServerName(badServer);
        QVERIFY(!manager().stopMeeting({"c-1", "m-1"}));
        QCOMPARE(manager().errCode(), QString("205"));
        QCOMPARE(manager().errMsg(), QString("stop meeting err: can't init tandemlink local tcp server"));
        QVERIFY(manager().isInMeeting());
    }

    void noResponse_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("start");
        QTest::newRow("start, missing executable") << "missing" << true;
        QTest::newRow("start unanswered") << "conferencestart" << true;
        QTest::newRow("stop unanswered") << "conferencedisconnect" << false;
    }

    // A missing executable is no refusal: the command waits in the queue and
    // the no-response timer reports it.
    void noResponse()
    {
        QFETCH(QString, fault);
        QFETCH(bool, start);
        if (fault == "missing") {
            CTandemlinkAPI::instance()->setSdkPath(TestEnvironment::root() + "/no-such-sdk");
        } else {
            Standin::set("NO_REPLY", fault);
        }
        QStringList expected;
        if (!start) {
            bringTo("inMeeting");
            expected << "started c-1";
            QVERIFY(manager().stopMeeting({"c-1", "m-1"}));
        } else {
            QVERIFY(manager().startMeeting({"c-1", "m-1", "name"}));
        }
        expected << "error 106 can not get response from sdk in 15s, please retry";
        QTRY_COMPARE(m_events, expected);
        QCOMPARE(manager().errMsg(), QString("can not get response from sdk in 15s"));
        QCOMPARE(manager().conferenceUuid(), QString());
        QVERIFY(!manager().isInMeeting());
        // Reported once: a margin for a second report.
        QTest::qWait(100);
        QCOMPARE(m_events, expected);
    }

    void startRefusedByTheProcess()
    {
        Standin::set("FAIL", "conferencestart");
        Standin::set("ERROR_MSG", "会议不存在");
        m_bridge->startMeeting("c-1", "m-1", "name");
        QTRY_COMPARE(m_events, QStringList{"error 106 会议不存在"});
        QVERIFY(!manager().isInMeeting());
        QVERIFY(manager().startMeeting({"c-2", "m-1", "name"})); // no longer waiting
    }

    // A leave the process refused leaves the user in the conference: the
    // page learns it by a code of its own and may leave again.
    void leaveRefusedByTheProcess()
    {
        Standin::set("FAIL", "conferencedisconnect");
        Standin::set("ERROR_MSG", "退出会议失败");
        m_bridge->startMeeting("c-1", "m-1", "name");
        QTRY_COMPARE(m_events, QStringList{"started c-1"});
        m_bridge->stopMeeting("c-1", "m-1");
        QTRY_COMPARE(m_events, (QStringList{"started c-1", "error 206 退出会议失败"}));
        QVERIFY(manager().isInMeeting());
        QCOMPARE(m_bridge->getCurMeetingId(), QString("c-1"));
        QVERIFY(manager().stopMeeting({"c-1", "m-1"})); // no longer waiting
        QTRY_COMPARE(Standin::received().size(), 3);
    }

    void processEndsBeforeTheConferenceStarts()
    {
        CMeetingManager::setNoResponseTimeout(3000); // the process ends first
        Standin::set("NO_REPLY", "conferencestart");
        Standin::set("EXIT_AFTER", "conferencestart");
        m_bridge->startMeeting("c-1", "m-1", "name");
        QTRY_COMPARE(m_events, QStringList{"error 106 会议程序已退出,未能加入会议"});
        QVERIFY(!manager().isInMeeting());
        QTest::qWait(3000); // past the no-response time
        QCOMPARE(m_events, QStringList{"error 106 会议程序已退出,未能加入会议"});
    }

    void processDiesMidConference()
    {
        Standin::set("CRASH_AFTER", "conferencestart");
        m_bridge->startMeeting("c-1", "m-1", "name");
        QTRY_COMPARE(m_events, (QStringList{"started c-1", "stoped c-1"}));
        QVERIFY(!manager().isInMeeting());

        Standin::unset("CRASH_AFTER");
        m_bridge->startMeeting("c-2", "m-1", "name");
        QTRY_COMPARE(m_events, (QStringList{"started c-1", "stoped c-1", "started c-2"}));
        QCOMPARE(Standin::pids().size(), 2);
    }

    void bridgeRefusesMissingValues_data()
    {
        QTest::addColumn<bool>("start");
        QTest::addColumn<QString>("uuid");
        QTest::addColumn<QString>("memberid");
        QTest::addColumn<QString>("error");
        QTest::newRow("start without uuid") << true << ""
                                            << "m-1"
                                            << "error 101 invaild parameters";
        QTest::newRow("start without member") << true << "c-1"
                                              << ""
                                              << "error 101 invaild parameters";
        QTest::newRow("stop without uuid") << false << ""
                                           << "m-1"
                                           << "error 201 invaild parameters";
        QTest::newRow("stop without member") << false << "c-1"
                                             << ""
                                             << "error 201 invaild parameters";
    }

    void bridgeRefusesMissingValues()
    {
        QFETCH(bool, start);
        QFETCH(QString, uuid);
        QFETCH(QString, memberid);
        QFETCH(QString, error);
        if (start) {
            m_bridge->startMeeting(uuid, memberid, "name");
        } else {
            m_bridge->stopMeeting(uuid, memberid);
        }
        QCOMPARE(m_events, QStringList{error});
        // The manager never saw it: nothing was recorded or started.
        QCOMPARE(manager().errCode(), QString());
        QCOMPARE(m_bridge->getCurMeetingId(), QString("null"));
        // A conference started next is the first thing the process hears of.
        QVERIFY(manager().startMeeting({"c-1", "m-1", "name"}));
        QTRY_VERIFY(manager().isInMeeting());
        QCOMPARE(Standin::pids().size(), 1);
        const QList<QJsonObject> sent = Standin::received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).value("operation").toString(), QString("conferencestart"));
    }

    void memberName_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("profileName");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("signed out") << false << "张三"
                                    << "^游客[0-9]{6}$";
        QTest::newRow("signed in") << true << "张三"
                                   << "^张三$";
        QTest::newRow("signed in without a name") << true << ""
                                                  << "^Guest$";
    }

    void memberName()
    {
        QFETCH(bool, signedIn);
        QFETCH(QString, profileName);
        QFETCH(QString, pattern);
        CSignedInUser::setProvider([signedIn] { return signedIn; });
        CLoginInfo::instance()->name = profileName;
        m_bridge->startMeeting("c-1", "m-1", "页面名字");
        QTRY_COMPARE(m_events, QStringList{"started c-1"});
        const QString sent = Standin::received().value(0).value("membername").toString();
        QVERIFY2(QRegularExpression(pattern).match(sent).hasMatch(), qPrintable(sent));
    }

    void needLogin_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("shown");
        QTest::newRow("signed out") << false << 1;
        QTest::newRow("signed in") << true << 0;
    }

    void needLogin()
    {
        QFETCH(bool, signedIn);
        QFETCH(int, shown);
        CSignedInUser::setProvider([signedIn] { return signedIn; });
        QSignalSpy spy(&manager(), &CMeetingManager::showLoginDlg);
        m_bridge->needLogin();
        QCOMPARE(spy.count(), shown);
        if (shown) {
            QCOMPARE(spy.at(0).at(0).toInt(), 1);
        }
    }

    void ticketReachesThePage()
    {
        QSignalSpy spy(m_bridge, &CMeetingCallback::getTicket);
        m_bridge->informTicket("ST-1");
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QString("ST-1"));
    }

    void serverTimeOffset_data()
    {
        QTest::addColumn<double>("offset");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("none") << 0.0 << qint64(0);
        QTest::newRow("ahead") << 60000.0 << qint64(60000);
        QTest::newRow("behind") << -60000.0 << qint64(-60000);
        QTest::newRow("beyond 32 bits") << double((qint64(1) << 32) + 5) << qint64(5);
        QTest::newRow("low half negative") << double(0x80000000LL) << qint64(-2147483648LL);
    }

    void serverTimeOffset()
    {
        QFETCH(double, offset);
        QFETCH(qint64, expected);
        CApiConfig::instance(true);
        CApiConfig::instance()->setTimeOffset({{"timeOffest", offset}});
        QCOMPARE(qint64(m_bridge->getServerTimeOffset()), expected);
        CApiConfig::instance(true);
    }

    void releaseLeavesTheConference()
    {
        bringTo("inMeeting");
        CMeetingManager::instance(true);
        QTRY_COMPARE(Standin::received().size(), 2);
        QCOMPARE(Standin::received().at(1).value("operation").toString(), QString("conferencedisconnect"));
        QCOMPARE(Standin::received().at(1).value("conferenceuuid").toString(), QString("c-1"));
    }

private:
    static CMeetingManager& manager() { return *CMeetingManager::instance(); }

    void bringTo(const QString& state)
    {
        if (state == "idle") {
            return;
        }
        if (state == "startWaiting") {
            Standin::set("NO_REPLY", "conferencestart");
            CMeetingManager::setNoResponseTimeout(60000);
        }
        if (state == "stopWaiting") {
            Standin::set("NO_REPLY", "conferencedisconnect");
            CMeetingManager::setNoResponseTimeout(60000);
        }
        QVERIFY(manager().startMeeting({"c-1", "m-1", "name"}));
        if (state == "startWaiting") {
            QTRY_COMPARE(Standin::received().size(), 1);
            return;
        }
        QTRY_VERIFY(manager().isInMeeting());
        if (state == "stopWaiting") {
            QVERIFY(manager().stopMeeting({"c-1", "m-1"}));
            QTRY_COMPARE(Standin::received().size(), 2);
        }
    }

    QPointer<CMeetingCallback> m_bridge;
    QStringList m_events;
};

QTEST_GUILESS_MAIN(TestMeetingManager)
#include "tst_meetingmanager.moc"
