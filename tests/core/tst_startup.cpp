#include "app/startup.h"
#include "core/cipher.h"
#include "core/deviceidentity.h"
#include "platform/localsocketname.h"
#include "support/processtree.h"
#include "support/testenvironment.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// The real client as a process: it starts past a dead instance's socket,
// answers "close" from the updater, tells the updater to close and tears down
// in order, also when its web storage folder cannot be used.
class TestStartup : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void startsPastLeftoverSocketAndQuitsInOrder()
    {
        const QString mainSocket = localSocketName("marlunemain");
        leaveDeadSocket(mainSocket);
        QVERIFY(QFileInfo::exists(mainSocket));

        QLocalServer updater;
        QVERIFY(updater.listen(localSocketName("marluneupdater")));
        QByteArray updaterReceived;
        connect(&updater, &QLocalServer::newConnection, this, [&] {
            QLocalSocket* socket = updater.nextPendingConnection();
            connect(socket, &QLocalSocket::readyRead, this,
                    [&, socket] { updaterReceived += socket->readAll(); });
        });

        QProcess client;
        client.setProcessChannelMode(QProcess::ForwardedChannels);
        TestEnvironment::startClient(client);
        QVERIFY(client.waitForStarted());

        QLocalSocket socket;
        QTRY_VERIFY_WITH_TIMEOUT(TestEnvironment::connectOnce(socket, mainSocket), 20000);
        QTRY_VERIFY(QFileInfo::exists(TestEnvironment::runtimeDir() + "/marlunemain.lock"));
        socket.write("close");
        QVERIFY(socket.waitForBytesWritten(2000));

        QTRY_VERIFY_WITH_TIMEOUT(client.state() == QProcess::NotRunning, 20000);
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        QTRY_COMPARE(updaterReceived, QByteArray("close"));

        const QString log = readTodaysLog();
        const QStringList expectedOrder = {
            "CDplusTrack event name: 启动APP",
            "cmd close send to marlune updater",
            "CUpdater: cleanup",
            "CDplusTrack event name: 退出APP",
            "onQuitCleanup: release WindowMain",
            "onQuitCleanup: release CNetStateWathcer",
            "onQuitCleanup: release CSingleNetworkManger",
            "onQuitCleanup: release CWeather",
            "onQuitCleanup: release CLoginManager",
            "onQuitCleanup: release CCipher",
            "onQuitCleanup: release CProjectionManager",
            "onQuitCleanup: release CShareManager",
            "onQuitCleanup: release CMeetingManager",
            "onQuitCleanup: release CTandemlinkProc",
            "onQuitCleanup: release CShareWrapper",
            "onQuitCleanup: release CLocalConfig",
        };
        int from = 0;
        for (const QString& line : expectedOrder) {
            const int at = log.indexOf(line, from);
            QVERIFY2(at >= 0, qPrintable("missing or out of order: " + line + "\n" + log));
            from = at;
        }

        // The settings file is written last: it names this computer and its own place.
        const QString settingsPath =
            QSettings(QSettings::IniFormat, QSettings::UserScope, "vantelor", "vantelor").fileName();
        QSettings settings(settingsPath, QSettings::IniFormat);
        QCOMPARE(decrypted(settings.value("Device/deviceID").toString()), deviceIdentity(false));
        QCOMPARE(decrypted(settings.value("Device/path").toString()), settingsPath);
    }

    // Without a runtime directory the client keeps its sockets in a private
    // folder of its own, runs headless on the offscreen platform, says on
    // standard error what Qt warns about, and keeps its files to the user.
    void keepsItsFilesAndSocketsPrivate()
    {
        const QString dataDir = TestEnvironment::root() + "/config/vantelor";
        QVERIFY(QDir().mkpath(dataDir));
        const QString yesterdaysLog =
            dataDir + "/log_" + QDate::currentDate().addDays(-1).toString(Qt::ISODate) + ".txt";
        const QStringList ours = {dataDir + "/vantelor.ini", dataDir + "/WeatherData.json", yesterdaysLog};
        const QString usersFile = dataDir + "/logbook-1.txt";
        for (const QString& path : ours + QStringList{usersFile}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append));
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                        QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther));
        }
        QVERIFY(QFile::setPermissions(dataDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                   QFile::ReadUser | QFile::WriteUser | QFile::ExeUser |
                                                   QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                   QFile::ExeOther));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("XDG_RUNTIME_DIR");
        env.remove("QT_QUICK_BACKEND");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess client;
        client.setProcessEnvironment(env);
        TestEnvironment::startClient(client);
        QVERIFY(client.waitForStarted());

        const QString runtimeDir =
            TestEnvironment::root() + "/tmp/runtime-" + QString::fromLocal8Bit(getpwuid(geteuid())->pw_name);
        QLocalSocket socket;
        QTRY_VERIFY_WITH_TIMEOUT(TestEnvironment::connectOnce(socket, runtimeDir + "/marlunemain"), 20000);
        QCOMPARE(QFileInfo(runtimeDir).permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                          QFile::ReadUser | QFile::WriteUser |
                                                          QFile::ExeUser);
        socket.write("close");
        QVERIFY(socket.waitForBytesWritten(2000));
        QTRY_VERIFY_WITH_TIMEOUT(client.state() == QProcess::NotRunning, 20000);
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        QVERIFY(client.readAllStandardError().contains("XDG_RUNTIME_DIR not set"));

        const QFile::Permissions userOnlyDir = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
        const QFile::Permissions userOnlyFile =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
        QCOMPARE(QFileInfo(dataDir).permissions(), userOnlyDir);
        const QString todaysLog = dataDir + "/log_" + QDate::currentDate().toString(Qt::ISODate) + ".txt";
        for (const QString& path : ours + QStringList{todaysLog}) {
            QVERIFY2(QFileInfo(path).permissions() == userOnlyFile, qPrintable(path));
        }
        QVERIFY(QFileInfo(usersFile).permissions() & QFile::ReadOther);
    }

    void quitsCleanlyWithUnusableWebStorage_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("logged"); // the log file can still be written
        QTest::newRow("data directory is a file") << "file" << false;
        QTest::newRow("data directory is read-only") << "read-only" << false;
        QTest::newRow("webengine is a file") << "webengine-file" << true;
    }

    // The client shows its web pages, then quits with 0, every time.
    void quitsCleanlyWithUnusableWebStorage()
    {
        QFETCH(QString, setup);
        QFETCH(bool, logged);
        const QString dataDir = TestEnvironment::root() + "/config/vantelor";
        for (int run = 0; run < 3; ++run) {
            removeAll(dataDir);
            QString mountReadOnly;
            if (setup == "file") {
                QVERIFY(writeFile(dataDir, "not a folder"));
            } else if (setup == "webengine-file") {
                QVERIFY(QDir().mkpath(dataDir));
                QVERIFY(writeFile(dataDir + "/webengine", "not a folder"));
            } else {
                QVERIFY(QDir().mkpath(dataDir));
                QFile::setPermissions(dataDir, QFile::ReadOwner | QFile::ExeOwner);
                if (geteuid() == 0) {
                    // Root writes past permission bits: a read-only mount in
                    // the client's own mount namespace is read-only for it too.
                    mountReadOnly =
                        QString("mount --bind '%1' '%1' && mount -o remount,ro,bind '%1'").arg(dataDir);
                }
            }

            QProcess client;
            client.setProcessChannelMode(QProcess::ForwardedChannels);
            TestEnvironment::startClient(client, QStringList(), mountReadOnly);
            QVERIFY(client.waitForStarted());
            QLocalSocket socket;
            QTRY_VERIFY_WITH_TIMEOUT(TestEnvironment::connectOnce(socket, localSocketName("marlunemain")),
                                     20000);
            // The conference page is up in its renderer.
            QTRY_VERIFY_WITH_TIMEOUT(ProcessTree::of(client.processId()).webEngineProcesses >= 2, 20000);
            socket.write("close");
            QVERIFY(socket.waitForBytesWritten(2000));
            QTRY_VERIFY_WITH_TIMEOUT(client.state() == QProcess::NotRunning, 20000);
            QCOMPARE(client.exitStatus(), QProcess::NormalExit);
            QCOMPARE(client.exitCode(), 0);
            if (logged) {
                QVERIFY(readTodaysLog().contains("web storage " + dataDir + "/webengine"));
            }
        }
        removeAll(dataDir);
    }

private:
    static QString decrypted(const QString& stored)
    {
        QByteArray plain;
        return CCipher::instance()->decrypt(QByteArray::fromBase64(stored.toLatin1()), plain)
                   ? QString::fromUtf8(plain)
                   : QString("(not encrypted: %1)").arg(stored);
    }

    static void removeAll(const QString& path)
    {
        if (QFileInfo(path).isDir()) {
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QDir(path).removeRecursively();
        } else {
            QFile::remove(path);
        }
    }

    static bool writeFile(const QString& path, const QByteArray& content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    // A socket file whose owner is gone: connecting to it is refused.
    static void leaveDeadSocket(const QString& path)
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
    }

    static QString readTodaysLog()
    {
        QFile file(TestEnvironment::root() + "/config/vantelor/log_" +
                   QDate::currentDate().toString(Qt::ISODate) + ".txt");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
