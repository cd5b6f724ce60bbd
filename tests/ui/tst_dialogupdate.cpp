#include "dialogwaiter.h"
#include "platform/updatehandoff.h"
#include "support/localserviceprocess.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"
#include "ui/dialogupdate.h"
#include "ui/fontsubstitution.h"
#include "ui/updater.h"
#include "ui/windowmain.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The updater as the user meets it: the "检查更新" dialog and the silent
// checks that use the main window's tip, against the real local service up to
// the hand-off to the installer (a copy command standing in for it).
class TestDialogUpdate : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private:
    LocalServiceProcess service;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QWidget> parent;
    int quitRequests = 0;

    QString downloads() const { return dir->filePath("downloads"); }
    QString handedOver() const { return dir->filePath("handed-over.deb"); }

    bool setUpdate(QJsonObject state)
    {
        state.insert("reset", true);
        return service.control("POST", "/__control/update", state).value("ok").toBool();
    }

    DialogUpdate* openDialog()
    {
        DialogUpdate* dialog = CUpdater::checkUpdateWithUi(parent.get());
        dialog->show();
        return dialog;
    }

    QPushButton* button(DialogUpdate* dialog, const char* name)
    {
        return dialog->findChild<QPushButton*>(name);
    }

    QStringList leftInDownloads() const
    {
        return QDir(downloads()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase()
    {
        installFontSubstitutions();
        QVERIFY(service.start());
        QVERIFY(TestDeployment::useLocalService(quint16(service.port())));
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        CUpdateHandOff::setCommandForTesting({"cp", "%f", handedOver()});
        CUpdater::setDownloadDirectoryForTesting(downloads());
        CUpdater::init();
        CUpdater::setAutomaticCheckForUpdates(true);
        quitRequests = 0;
        CUpdater::setShutdownRequestCallback([this] { ++quitRequests; });
        parent = std::make_unique<QWidget>();
        parent->resize(900, 600);
        parent->show();
        QVERIFY(setUpdate(QJsonObject()));
    }

    void cleanup()
    {
        parent.reset();
        CUpdater::cleanup();
        CUpdater::setAutomaticCheckIntervalForTesting(0);
    }

    void dialogShowsWhatTheFeedSays_data()
    {
        QTest::addColumn<QJsonObject>("state");
        QTest::addColumn<DialogUpdate::Page>("page");
        QTest::addColumn<QString>("message");
        QTest::newRow("up to date") << QJsonObject{{"version", "2.4.7"}} << DialogUpdate::PageUpToDate
                                    << QString::fromUtf8("当前已是最新版本");
        QTest::newRow("newer") << QJsonObject{{"version", "2.4.8"}} << DialogUpdate::PageAvailable
                               << QString::fromUtf8("发现新版本 2.4.8");
        QTest::newRow("feed down") << QJsonObject{{"feed", "down"}} << DialogUpdate::PageError
                                   << QString::fromUtf8("无法读取更新信息，请检查网络后重试。");
        QTest::newRow("malformed feed") << QJsonObject{{"feed", "malformed"}} << DialogUpdate::PageError
                                        << QString::fromUtf8("更新信息格式有误，请稍后重试。");
    }
    void dialogShowsWhatTheFeedSays()
    {
        QFETCH(QJsonObject, state);
        QFETCH(DialogUpdate::Page, page);
        QFETCH(QString, message);
        QVERIFY(setUpdate(state));
        DialogUpdate* dialog = openDialog();
        QCOMPARE(dialog->page(), DialogUpdate::PageChecking);
        QTRY_COMPARE_WITH_TIMEOUT(dialog->page(), page, 20000);
        QCOMPARE(dialog->message(), message);
        if (page == DialogUpdate::PageAvailable) {
            QVERIFY(button(dialog, "btnUpdate")->isVisible());
            QVERIFY(button(dialog, "btnLater")->isVisible());
            QVERIFY(
                dialog->findChild<QWidget*>("textNotes")->property("plainText").toString().contains("演示"));
            // "稍后" closes without downloading anything.
            QTest::mouseClick(button(dialog, "btnLater"), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
            QCOMPARE(leftInDownloads(), QStringList());
        }
        const QImage shot = dialog->grab().toImage();
        QCOMPARE(shot.pixelColor(5, 100), QColor(Qt::white));
        QCOMPARE(quitRequests, 0);
        delete dialog;
    }

    void updateNowHandsTheVerifiedPackageOverAndQuits()
    {
        DialogUpdate* dialog = openDialog();
        QTRY_COMPARE_WITH_TIMEOUT(dialog->page(), DialogUpdate::PageAvailable, 20000);
        QSignalSpy installer(dialog, &DialogUpdate::installerStarted);
        QTest::mouseClick(button(dialog, "btnUpdate"), Qt::LeftButton);
        QVERIFY(dialog->page() == DialogUpdate::PageDownloading || installer.count() == 1);
        QVERIFY(installer.count() == 1 || installer.wait(30000));
        QTRY_COMPARE(quitRequests, 1);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        const qint64 size = service.control("GET", "/__control/update").value("packageBytes").toInt();
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(handedOver()).size(), size, 10000);
        QCOMPARE(leftInDownloads(), QStringList{"vantelor_2.4.8_amd64.deb"});
        QFile::remove(handedOver());
        delete dialog;
    }

    void refusedPackageIsDeletedAndReported_data()
    {
        QTest::addColumn<QJsonObject>("state");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong signature")
            << QJsonObject{{"signature", "wrong"}} << QString::fromUtf8("更新文件签名校验失败，已删除。");
        QTest::newRow("truncated") << QJsonObject{{"download", "truncated"}}
                                   << QString::fromUtf8("更新文件大小不符，已删除。");
    }
    void refusedPackageIsDeletedAndReported()
    {
        QFETCH(QJsonObject, state);
        QFETCH(QString, message);
        QVERIFY(setUpdate(state));
        DialogUpdate* dialog = openDialog();
        QTRY_COMPARE_WITH_TIMEOUT(dialog->page(), DialogUpdate::PageAvailable, 20000);
        QTest::mouseClick(button(dialog, "btnUpdate"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dialog->page(), DialogUpdate::PageError, 30000);
        QCOMPARE(dialog->message(), message);
        QCOMPARE(leftInDownloads(), QStringList());
        QVERIFY(!QFile::exists(handedOver()));
        QCOMPARE(quitRequests, 0);
        delete dialog;
    }

    void cancelMidDownloadLeavesNothing()
    {
        QVERIFY(setUpdate(QJsonObject{{"chunkDelayMs", 100}}));
        DialogUpdate* dialog = openDialog();
        QTRY_COMPARE_WITH_TIMEOUT(dialog->page(), DialogUpdate::PageAvailable, 20000);
        QTest::mouseClick(button(dialog, "btnUpdate"), Qt::LeftButton);
        auto* bar = dialog->findChild<QProgressBar*>("progress");
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);
        QVERIFY(bar->value() < 100);
        QVERIFY(!leftInDownloads().isEmpty());
        QTest::mouseClick(button(dialog, "btnCancel"), Qt::LeftButton);
        QCOMPARE(dialog->page(), DialogUpdate::PageAvailable);
        QCOMPARE(leftInDownloads(), QStringList());
        QVERIFY(!QFile::exists(handedOver()));
        QCOMPARE(quitRequests, 0);
        delete dialog;
    }

    void closingTheDialogStopsTheDownload()
    {
        QVERIFY(setUpdate(QJsonObject{{"chunkDelayMs", 100}}));
        DialogUpdate* dialog = openDialog();
        QTRY_COMPARE_WITH_TIMEOUT(dialog->page(), DialogUpdate::PageAvailable, 20000);
        QTest::mouseClick(button(dialog, "btnUpdate"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!leftInDownloads().isEmpty(), 20000);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(leftInDownloads(), QStringList());
        delete dialog;
        QCOMPARE(quitRequests, 0);
    }

    void menuEntryOpensTheDialogOverTheMask()
    {
        QVERIFY(setUpdate(QJsonObject{{"version", "2.4.7"}}));
        WindowMain* window = WindowMain::instance(false);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        bool seen = false;
        whenDialogOpen<DialogUpdate>(window, [&seen](DialogUpdate* dialog) {
            QTRY_COMPARE_WITH_TIMEOUT(dialog->page(), DialogUpdate::PageUpToDate, 20000);
            seen = dialog->message() == QString::fromUtf8("当前已是最新版本");
            QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
        });
        QMetaObject::invokeMethod(window, "onCheckUpdateTriggered");
        QVERIFY(seen);
        QVERIFY(window->findChildren<DialogUpdate*>().isEmpty());
        WindowMain::instance(true);
    }

    // Silent checks run after the first paint and then on the automatic
    // interval; only a newer version reaches the tip.
    void silentChecksTellTheTipOnlyOfANewerVersion()
    {
        QVERIFY(setUpdate(QJsonObject{{"version", "2.4.7"}}));
        CUpdater::setAutomaticCheckIntervalForTesting(300);
        WindowMain* window = WindowMain::instance(false);
        auto* tip = window->findChild<QLabel*>("tip_head");
        window->show();
        CUpdater::checkUpdateWithoutUi();
        QCOMPARE(CUpdater::silentCheckCountForTesting(), 0);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // A later check starts only once the one before it has answered.
        QTRY_VERIFY_WITH_TIMEOUT(CUpdater::silentCheckCountForTesting() >= 2, 20000);
        QVERIFY2(!tip->isVisible() || !tip->text().contains("2.4"), qPrintable(tip->text()));

        QVERIFY(setUpdate(QJsonObject{{"version", "2.4.9"}}));
        QTRY_VERIFY_WITH_TIMEOUT(tip->isVisible() && tip->text().contains("2.4.9"), 20000);
        QVERIFY(tip->text().startsWith(QString::fromUtf8("发现新版本")));
        QCOMPARE(quitRequests, 0);
        WindowMain::instance(true);
    }
};

QTEST_MAIN(TestDialogUpdate)
#include "tst_dialogupdate.moc"
