#include "conference/sharemanager.h"
#include "conference/tandemlinkapi.h"
#include "conference/tandemlinkproc.h"
#include "projection/projectionmanager.h"
#include "projection/sharewrapper.h"
#include "support/testenvironment.h"

#include <QSignalSpy>
#include <QtTest>

// Routing of codes and the merged state of the two halves. The state table is
// checked row by row; the routing with the real managers, whose signals the
// test emits as the managers would.
Q_DECLARE_METATYPE(CShareWrapper::State)
Q_DECLARE_METATYPE(CShareWrapper::Event)
Q_DECLARE_METATYPE(CShareWrapper::Output)

using W = CShareWrapper;

class TestShareWrapper : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void cleanup()
    {
        CShareWrapper::instance(true);
        CTandemlinkProc::instance(true);
        CTandemlinkAPI::instance(true);
    }

    void stateTable_data()
    {
        QTest::addColumn<W::State>("state");
        QTest::addColumn<W::Event>("event");
        QTest::addColumn<bool>("shareOn");
        QTest::addColumn<bool>("projecting");
        QTest::addColumn<W::State>("next");
        QTest::addColumn<W::Output>("output");
        // Dual start: announced once both halves run, or one runs and the other failed.
        QTest::newRow("both: projection first")
            << W::StartingBoth << W::ProjectionStarted << false << true << W::StartingBoth << W::NoOutput;
        QTest::newRow("both: projection second")
            << W::StartingBoth << W::ProjectionStarted << true << true << W::RunningBoth << W::EmitStarted;
        QTest::newRow("both: share second")
            << W::StartingBoth << W::ShareStarted << true << true << W::RunningBoth << W::EmitStarted;
        QTest::newRow("both: share first")
            << W::StartingBoth << W::ShareStarted << true << false << W::StartingBoth << W::NoOutput;
        QTest::newRow("both: projection fails, share runs")
            << W::StartingBoth << W::ProjectionError << true << false << W::Running << W::EmitStarted;
        QTest::newRow("both: projection fails first")
            << W::StartingBoth << W::ProjectionError << false << false << W::StartingShare << W::NoOutput;
        QTest::newRow("both: share fails, projection runs")
            << W::StartingBoth << W::ShareError << false << true << W::Running << W::EmitStarted;
        QTest::newRow("both: share fails first")
            << W::StartingBoth << W::ShareError << false << false << W::StartingProjection << W::NoOutput;
        QTest::newRow("both: projection stops")
            << W::StartingBoth << W::ProjectionStopped << false << false << W::StartingShare << W::NoOutput;
        QTest::newRow("both: share stops")
            << W::StartingBoth << W::ShareStopped << false << false << W::StartingProjection << W::NoOutput;
        // Running both: one half ending ends the other.
        QTest::newRow("running both: started again")
            << W::RunningBoth << W::ShareStarted << true << true << W::RunningBoth << W::NoOutput;
        QTest::newRow("running both: an error")
            << W::RunningBoth << W::ProjectionError << true << true << W::Running << W::NoOutput;
        QTest::newRow("running both: projection ends")
            << W::RunningBoth << W::ProjectionStopped << true << false << W::Running << W::StopShare;
        QTest::newRow("running both: share ends")
            << W::RunningBoth << W::ShareStopped << false << true << W::Running << W::StopProjection;
        QTest::newRow("running both: last half ends")
            << W::RunningBoth << W::ShareStopped << false << false << W::Idle << W::EmitStopped;
        // Any other state.
        QTest::newRow("share started")
            << W::StartingShare << W::ShareStarted << true << false << W::Running << W::EmitStarted;
        QTest::newRow("projection error")
            << W::StartingProjection << W::ProjectionError << false << false << W::Idle << W::EmitError;
        QTest::newRow("second half fails too")
            << W::StartingShare << W::ShareError << false << false << W::Idle << W::EmitError;
        QTest::newRow("running: stopped")
            << W::Running << W::ProjectionStopped << false << false << W::Idle << W::EmitStopped;
        QTest::newRow("idle: stopped")
            << W::Idle << W::ShareStopped << false << false << W::Idle << W::EmitStopped;
        // A refused stop: the share still runs, the page learns why.
        QTest::newRow("running: share stop refused")
            << W::Running << W::ShareStopFailed << true << false << W::Running << W::EmitError;
        QTest::newRow("running both: share stop refused")
            << W::RunningBoth << W::ShareStopFailed << true << true << W::RunningBoth << W::EmitError;
    }
    void stateTable()
    {
        QFETCH(W::State, state);
        QFETCH(W::Event, event);
        QFETCH(bool, shareOn);
        QFETCH(bool, projecting);
        QFETCH(W::State, next);
        QFETCH(W::Output, output);
        const W::Step step = W::transition(state, event, shareOn, projecting);
        QCOMPARE(step.next, next);
        QCOMPARE(step.output, output);
    }

    void refusedCodes_data()
    {
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("no code") << QStringList();
        QTest::newRow("two different 4-character codes") << QStringList{"AB12", "CD34"};
        QTest::newRow("three codes") << QStringList{"ABCDE", "AB12", "FGHJK"};
        QTest::newRow("six characters") << QStringList{"ABCDEF"};
        QTest::newRow("3 and 5 characters") << QStringList{"ABC", "ABCDE"};
    }
    void refusedCodes()
    {
        QFETCH(QStringList, codes);
        QVERIFY(!wrapper().start(codes));
        QCOMPARE(wrapper().state(), W::Idle);
    }

    void dualStartFailsWithTheSecondHalfsCode()
    {
        QSignalSpy errors(&wrapper(), &CShareWrapper::shareError);
        QSignalSpy started(&wrapper(), &CShareWrapper::shareStarted);
        QVERIFY(wrapper().start({"ZZZZZ", "AB12"}));
        QCOMPARE(wrapper().state(), W::StartingBoth);
        emit CProjectionManager::instance()->projectError("1", "投屏码错误");
        QCOMPARE(wrapper().state(), W::StartingShare);
        QCOMPARE(errors.count(), 0);
        emit CShareManager::instance()->shareManagerError("2", "share failed");
        QCOMPARE(wrapper().state(), W::Idle);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0), QVariantList({"2", "share failed"}));
        QCOMPARE(started.count(), 0);
    }

    void dualStartWithAHalfRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("refused");
        QTest::addColumn<bool>("otherFails");
        QTest::addColumn<QVariantList>("error");
        QTest::newRow("share refused, projection fails")
            << "share" << true << QVariantList{"1", "投屏码错误"};
        QTest::newRow("share refused, projection runs") << "share" << false << QVariantList{};
        QTest::newRow("projection refused, share fails")
            << "projection" << true << QVariantList{"2", "share failed"};
        QTest::newRow("projection refused, share runs") << "projection" << false << QVariantList{};
    }

    // A half refused by its manager at once counts as that half's error: the
    // other half's outcome is announced, the page does not wait for ever.
    void dualStartWithAHalfRefusedAtOnce()
    {
        QFETCH(QString, refused);
        QFETCH(bool, otherFails);
        QFETCH(QVariantList, error);
        CTandemlinkAPI::instance()->setSdkPath(TestEnvironment::root() + "/no-such-sdk");
        if (refused == "share") {
            CTandemlinkAPI::instance()->setServerName(TestEnvironment::root() + "/no-such-dir/server");
        } else {
            QVERIFY(CProjectionManager::instance()->start({"YYYYY"})); // an attempt that runs
        }
        QSignalSpy errors(&wrapper(), &CShareWrapper::shareError);
        QSignalSpy started(&wrapper(), &CShareWrapper::shareStarted);
        QVERIFY(wrapper().start({"ZZZZZ", "AB12"}));
        QCOMPARE(errors.count(), 0);
        QCOMPARE(wrapper().state(), refused == "share" ? W::StartingProjection : W::StartingShare);

        if (refused == "share") {
            if (otherFails) {
                emit CProjectionManager::instance()->projectError("1", "投屏码错误");
            } else {
                emit CProjectionManager::instance()->projectStarted();
            }
        } else if (otherFails) {
            emit CShareManager::instance()->shareManagerError("2", "share failed");
        } else {
            emit CShareManager::instance()->shareManagerStarted();
        }
        QCOMPARE(errors.count(), otherFails ? 1 : 0);
        QCOMPARE(started.count(), otherFails ? 0 : 1);
        if (otherFails) {
            QCOMPARE(errors.at(0), error);
            QCOMPARE(wrapper().state(), W::Idle);
        } else {
            QCOMPARE(wrapper().state(), W::Running);
        }
    }

    void stopInIdleEmitsNothing()
    {
        QSignalSpy stopped(&wrapper(), &CShareWrapper::shareStoped);
        QVERIFY(wrapper().stop());
        QCOMPARE(stopped.count(), 0);
        QCOMPARE(wrapper().state(), W::Idle);
    }

private:
    static CShareWrapper& wrapper() { return *CShareWrapper::instance(); }
};

QTEST_GUILESS_MAIN(TestShareWrapper)
#include "tst_sharewrapper.moc"
