#include "platform/updateclient.h"
#include "platform/updatehandoff.h"
#include "support/localserviceprocess.h"
#include "support/testdeployment.h"
#include "support/testenvironment.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The whole update path against the real local service: the feed, the
// download with its length and signature checks, and the hand-off to the
// installer (a copy command standing in for it).
class TestUpdateClient : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolate(); }

private:
    LocalServiceProcess service;
    QNetworkAccessManager network;
    std::unique_ptr<CUpdateClient> client;
    std::unique_ptr<QTemporaryDir> dir;

    QString downloads() const { return dir->filePath("downloads"); }
    QString handedOver() const { return dir->filePath("handed-over.deb"); }

    // Back to the defaults (2.4.8 offered, signed, whole), then state on top.
    bool setUpdate(const QJsonObject& state)
    {
        QJsonObject body = state;
        body.insert("reset", true);
        return service.control("POST", "/__control/update", body).value("ok").toBool();
    }

    // Checks the feed; the result and the item it offered.
    CUpdateClient::CheckResult check(CAppcastItem& item, QString& error)
    {
        QSignalSpy finished(client.get(), &CUpdateClient::checkFinished);
        client->check();
        if (!finished.wait(20000)) {
            return CUpdateClient::CheckResult::Failed;
        }
        item = finished.at(0).at(1).value<CAppcastItem>();
        error = finished.at(0).at(2).toString();
        return finished.at(0).at(0).value<CUpdateClient::CheckResult>();
    }

    QStringList leftInDownloads() const
    {
        return QDir(downloads()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase() { QVERIFY(service.start()); }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        CUpdateHandOff::setCommandForTesting({"cp", "%f", handedOver()});
        client = std::make_unique<CUpdateClient>(&network);
        client->setFeedUrl(QUrl(service.origin() + "/static/download/linux/appcast.xml"));
        client->setPublicKeyPem(TestDeployment::local()
                                    .value("download")
                                    .toObject()
                                    .value("updatePublicKeyPem")
                                    .toString()
                                    .toLatin1());
        client->setCurrentVersion("2.4.7");
        client->setDownloadDirectory(downloads());
        QVERIFY(setUpdate(QJsonObject()));
    }

    void cleanup() { client.reset(); }

    void checkReportsWhatTheFeedOffers_data()
    {
        QTest::addColumn<QJsonObject>("state");
        QTest::addColumn<CUpdateClient::CheckResult>("result");
        QTest::addColumn<QString>("version");
        QTest::newRow("newer") << QJsonObject{{"version", "2.4.8"}}
                               << CUpdateClient::CheckResult::UpdateAvailable << "2.4.8";
        QTest::newRow("up to date") << QJsonObject{{"version", "2.4.7"}}
                                    << CUpdateClient::CheckResult::UpToDate << "";
        QTest::newRow("older") << QJsonObject{{"version", "2.3.0"}} << CUpdateClient::CheckResult::UpToDate
                               << "";
        QTest::newRow("unsigned item is not offered")
            << QJsonObject{{"signature", "missing"}} << CUpdateClient::CheckResult::UpToDate << "";
        QTest::newRow("feed down") << QJsonObject{{"feed", "down"}} << CUpdateClient::CheckResult::Failed
                                   << "";
        QTest::newRow("malformed feed")
            << QJsonObject{{"feed", "malformed"}} << CUpdateClient::CheckResult::Failed << "";
    }
    void checkReportsWhatTheFeedOffers()
    {
        QFETCH(QJsonObject, state);
        QFETCH(CUpdateClient::CheckResult, result);
        QFETCH(QString, version);
        QVERIFY(setUpdate(state));
        CAppcastItem item;
        QString error;
        QCOMPARE(check(item, error), result);
        QCOMPARE(item.version, version);
        QCOMPARE(error.isEmpty(), result != CUpdateClient::CheckResult::Failed);
        if (state.value("feed") == "down") {
            QCOMPARE(error, QString::fromUtf8("无法读取更新信息，请检查网络后重试。"));
        } else if (state.value("feed") == "malformed") {
            QCOMPARE(error, QString::fromUtf8("更新信息格式有误，请稍后重试。"));
        }
    }

    void checkWithoutFeedOrKeySaysSo()
    {
        client->setFeedUrl(QUrl());
        CAppcastItem item;
        QString error;
        QCOMPARE(check(item, error), CUpdateClient::CheckResult::Failed);
        QCOMPARE(error, QString::fromUtf8("未配置更新源，无法检查更新。"));
    }

    void downloadKeepsOnlyAVerifiedPackage_data()
    {
        QTest::addColumn<QJsonObject>("state");
        QTest::addColumn<bool>("verified");
        QTest::addColumn<QString>("error");
        QTest::newRow("signed package") << QJsonObject() << true << "";
        QTest::newRow("wrong signature") << QJsonObject{{"signature", "wrong"}} << false
                                         << QString::fromUtf8("更新文件签名校验失败，已删除。");
        QTest::newRow("truncated") << QJsonObject{{"download", "truncated"}} << false
                                   << QString::fromUtf8("更新文件大小不符，已删除。");
    }
    void downloadKeepsOnlyAVerifiedPackage()
    {
        QFETCH(QJsonObject, state);
        QFETCH(bool, verified);
        QFETCH(QString, error);
        QVERIFY(setUpdate(state));
        CAppcastItem item;
        QString checkError;
        QCOMPARE(check(item, checkError), CUpdateClient::CheckResult::UpdateAvailable);

        QSignalSpy progress(client.get(), &CUpdateClient::downloadProgress);
        QSignalSpy finished(client.get(), &CUpdateClient::downloadFinished);
        client->download(item);
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.at(0).at(0).toBool(), verified);
        QCOMPARE(finished.at(0).at(2).toString(), error);
        QCOMPARE(finished.at(0).at(3).toBool(), false);
        QVERIFY(!progress.isEmpty());
        const QString path = finished.at(0).at(1).toString();
        if (!verified) {
            QVERIFY(path.isEmpty());
            QCOMPARE(leftInDownloads(), QStringList());
            return;
        }
        QCOMPARE(leftInDownloads(), QStringList{"vantelor_2.4.8_amd64.deb"});
        QCOMPARE(QFileInfo(path).size(), item.length);
        QCOMPARE(progress.last().at(0).toLongLong(), item.length);

        // The verified file is what the installer gets.
        QCOMPARE(CUpdateHandOff::handOff(path), CUpdateHandOff::Outcome::InstallerStarted);
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(handedOver()).size(), item.length, 10000);
        QFile original(path), copy(handedOver());
        QVERIFY(original.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
        QVERIFY(original.readAll() == copy.readAll());
        QFile::remove(handedOver());
    }

    void cancelledDownloadLeavesNothing()
    {
        QVERIFY(setUpdate(QJsonObject{{"chunkDelayMs", 100}}));
        CAppcastItem item;
        QString error;
        QCOMPARE(check(item, error), CUpdateClient::CheckResult::UpdateAvailable);
        QSignalSpy progress(client.get(), &CUpdateClient::downloadProgress);
        QSignalSpy finished(client.get(), &CUpdateClient::downloadFinished);
        client->download(item);
        QVERIFY(progress.wait(20000));
        QVERIFY(!leftInDownloads().isEmpty());
        QVERIFY(progress.last().at(0).toLongLong() < item.length);
        client->cancelDownload();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QCOMPARE(finished.at(0).at(3).toBool(), true);
        QVERIFY(!client->isDownloading());
        QCOMPARE(leftInDownloads(), QStringList());
    }

    void handOffPrefersTheSystemInstaller()
    {
        CUpdateHandOff::setCommandForTesting({});
        const QStringList command = CUpdateHandOff::command("/tmp/vantelor_2.4.8_amd64.deb");
        CUpdateHandOff::setCommandForTesting({"cp", "%f", handedOver()});
        if (!QStandardPaths::findExecutable("pkexec").isEmpty()) {
            QCOMPARE(command.mid(1, 3),
                     (QStringList{QStandardPaths::findExecutable("apt-get"), "install", "-y"}));
        } else if (!QStandardPaths::findExecutable("xdg-open").isEmpty()) {
            QCOMPARE(command.size(), 2);
        } else {
            QVERIFY(command.isEmpty());
        }
        if (!command.isEmpty()) {
            QCOMPARE(command.last(), QString("/tmp/vantelor_2.4.8_amd64.deb"));
        }
    }
};

QTEST_GUILESS_MAIN(TestUpdateClient)
#include "tst_updateclient.moc"
