#include "account/logininfo.h"
#include "account/signedinuser.h"
#include "conference/meetingmanager.h"
#include "conference/sharemanager.h"
#include "conference/tandemlinkapi.h"
#include "conference/tandemlinkproc.h"
#include "standin.h"
#include "support/testenvironment.h"

#include <QtTest>

// Shares by 4-character code through the real stand-in process.
class TestShareManager : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void init()
    {
        Standin::reset();
        // Far beyond the process's start-up and answer on a slow (sanitized)
        // build; the no-response cases set short ones of their own.
        CShareManager::setNoResponseTimeouts(10000, 10000);
        CSignedInUser::setProvider(nullptr);
        CLoginInfo::instance(true);
        m_events.clear();
        connect(&share(), &CShareManager::shareManagerStarted, this, [this] { m_events << "started"; });
        connect(&share(), &CShareManager::shareManagerStoped, this, [this] { m_events << "stoped"; });
        connect(&share(), &CShareManager::shareManagerError, this,
                [this](QString code, QString msg) { m_events << "error " + code + " " + msg; });
        connect(&share(), &CShareManager::shareManagerStopFailed, this,
                [this](QString code, QString msg) { m_events << "stop failed " + code + " " + msg; });
    }

    void cleanup()
    {
        CShareManager::instance(true);
        CMeetingManager::instance(true);
        CTandemlinkProc::instance(true);
    }

    void startAndStop()
    {
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, QStringList{"started"});
        QVERIFY(share().isSharing());

        // The stop's answer is the next event: nothing came between.
        QVERIFY(share().stop());
        QTRY_COMPARE(m_events, (QStringList{"started", "stoped"}));
        QVERIFY(!share().isSharing());

        const QList<QJsonObject> sent = Standin::received();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(0).keys(), (QStringList{"clientappid", "operation", "screencode"}));
        QCOMPARE(sent.at(0).value("operation").toString(), QString("sharestart"));
        QCOMPARE(sent.at(0).value("screencode").toString(), QString("AB12"));
        QCOMPARE(sent.at(1).keys(), (QStringList{"clientappid", "operation", "screencode"}));
        QCOMPARE(sent.at(1).value("operation").toString(), QString("sharestop"));
        QCOMPARE(sent.at(1).value("screencode").toString(), QString("AB12"));
    }

    void codesThatAreNotSent_data()
    {
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("5 characters") << QStringList{"ABCDE"};
        QTest::newRow("3 characters") << QStringList{"ABC"};
        QTest::newRow("none") << QStringList{};
        QTest::newRow("first of two has 5") << QStringList{"ABCDE", "AB12"};
    }

    void codesThatAreNotSent()
    {
        QFETCH(QStringList, codes);
        QVERIFY(!share().start(codes));
        QVERIFY(!share().isSharing());
        QVERIFY(m_events.isEmpty());
        // A share started next is the first thing the process hears of.
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, QStringList{"started"});
        QCOMPARE(Standin::pids().size(), 1);
        const QList<QJsonObject> sent = Standin::received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).value("screencode").toString(), QString("AB12"));
    }

    void memberName_data()
    {
        QTest::addColumn<bool>("inMeeting");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("sent");
        QTest::newRow("neither") << false << false << false;
        QTest::newRow("signed in only") << false << true << false;
        QTest::newRow("in a conference only") << true << false << false;
        QTest::newRow("both") << true << true << true;
    }

    void memberName()
    {
        QFETCH(bool, inMeeting);
        QFETCH(bool, signedIn);
        QFETCH(bool, sent);
        CSignedInUser::setProvider([signedIn] { return signedIn; });
        CLoginInfo::instance()->name = "张三";
        if (inMeeting) {
            QVERIFY(CMeetingManager::instance()->startMeeting({"c-1", "m-1", "张三"}));
            QTRY_VERIFY(CMeetingManager::instance()->isInMeeting());
        }
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, QStringList{"started"});
        const QJsonObject cmd = Standin::received().constLast();
        QCOMPARE(cmd.value("operation").toString(), QString("sharestart"));
        QCOMPARE(cmd.contains("memebername"), sent);
        if (sent) {
            QCOMPARE(cmd.value("memebername").toString(), QString("张三"));
        }
    }

    void startRefusedByTheProcess()
    {
        Standin::set("FAIL", "sharestart");
        Standin::set("ERROR_CODE", "3021");
        Standin::set("ERROR_MSG", "接收端忙");
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, QStringList{"error 3021 接收端忙"});
        QVERIFY(!share().isSharing());
        QVERIFY(share().start({"AB12"})); // no longer waiting
    }

    // A stop the process refused leaves the share on, to be stopped again.
    void stopRefusedByTheProcess()
    {
        Standin::set("FAIL", "sharestop");
        Standin::set("ERROR_CODE", "3022");
        Standin::set("ERROR_MSG", "停止投屏失败");
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, QStringList{"started"});
        QVERIFY(share().stop());
        QTRY_COMPARE(m_events, (QStringList{"started", "stop failed 3022 停止投屏失败"}));
        QVERIFY(share().isSharing());
        QVERIFY(share().stop()); // no longer waiting
        QTRY_COMPARE(Standin::received().size(), 3);
    }

    void processEndsBeforeTheShareStarts()
    {
        CShareManager::setNoResponseTimeouts(3000, 300); // the process ends first
        Standin::set("NO_REPLY", "sharestart");
        Standin::set("CRASH_AFTER", "sharestart");
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, QStringList{"error 1 会议程序已退出,投屏未能开始"});
        QVERIFY(!share().isSharing());
        QTest::qWait(3000); // past the no-response time
        QCOMPARE(m_events, QStringList{"error 1 会议程序已退出,投屏未能开始"});
    }

    void noResponse_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("start");
        QTest::newRow("start, missing executable") << "missing" << true;
        QTest::newRow("start unanswered") << "sharestart" << true;
        QTest::newRow("stop unanswered") << "sharestop" << false;
    }

    void noResponse()
    {
        QFETCH(QString, fault);
        QFETCH(bool, start);
        // An unanswered stop is reported once the start's window has passed too.
        CShareManager::setNoResponseTimeouts(start ? 400 : 1500, 300);
        if (fault == "missing") {
            CTandemlinkAPI::instance()->setSdkPath(TestEnvironment::root() + "/no-such-sdk");
        } else {
            Standin::set("NO_REPLY", fault);
        }
        QStringList expected;
        QVERIFY(share().start({"AB12"}));
        if (!start) {
            QTRY_COMPARE(m_events, QStringList{"started"});
            expected << "started";
            QVERIFY(share().stop());
        }
        QVERIFY(!share().start({"CD34"})); // waiting
        expected << "error 1 无线投屏无响应,请稍后重试";
        QTRY_COMPARE(m_events, expected);
        // An unanswered stop leaves the share on, so that it can be stopped again.
        QCOMPARE(share().isSharing(), !start);
        // Reported once: a margin for a second report.
        QTest::qWait(200);
        QCOMPARE(m_events, expected);
    }

    void stopWhenNotSharingSendsNothing()
    {
        QVERIFY(share().stop());
        QVERIFY(m_events.isEmpty());
        // A share started next is the first thing the process hears of.
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, QStringList{"started"});
        QCOMPARE(Standin::pids().size(), 1);
        const QList<QJsonObject> sent = Standin::received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).value("operation").toString(), QString("sharestart"));
    }

    void takenOverByAnotherSender()
    {
        Standin::set("NOTIFY", "sharestart:projection:81001:bye");
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, (QStringList{"started", "error 81001 投屏已停止,因为被其他人抢投"}));
        QVERIFY(!share().isSharing());
    }

    void processDiesWhileSharing()
    {
        Standin::set("CRASH_AFTER", "sharestart");
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, (QStringList{"started", "stoped"}));
        QVERIFY(!share().isSharing());

        Standin::unset("CRASH_AFTER");
        QVERIFY(share().start({"AB12"}));
        QTRY_COMPARE(m_events, (QStringList{"started", "stoped", "started"}));
        QCOMPARE(Standin::pids().size(), 2);
    }

    void releaseStopsTheShare()
    {
        QVERIFY(share().start({"AB12"}));
        QTRY_VERIFY(share().isSharing());
        CShareManager::instance(true);
        QTRY_COMPARE(Standin::received().size(), 2);
        QCOMPARE(Standin::received().at(1).value("operation").toString(), QString("sharestop"));
    }

private:
    static CShareManager& share() { return *CShareManager::instance(); }

    QStringList m_events;
};

QTEST_GUILESS_MAIN(TestShareManager)
#include "tst_sharemanager.moc"
