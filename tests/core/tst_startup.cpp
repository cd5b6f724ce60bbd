#include "account/cipher.h"
#include "account/deviceidentity.h"
#include "core/startup.h"
#include "platform/localsocketname.h"
#include "support/testenvironment.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// The real client as a process: it starts past a dead instance's socket,
// answers "close" from the updater, tells the updater to close and tears down
// in order.
class TestStartup : public QObject
{
    Q_OBJECT
public:
    static void initMain()
    {
        TestEnvironment::isolate();
        setApplicationIdentity();
    }

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
        client.start(TestEnvironment::binary("vantelor"), QStringList());
        QVERIFY(client.waitForStarted());

        QLocalSocket socket;
        QTRY_VERIFY_WITH_TIMEOUT(connectOnce(socket, mainSocket), 20000);
        QVERIFY(QFileInfo::exists(TestEnvironment::runtimeDir() + "/marlunemain.lock"));
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

private:
    static QString decrypted(const QString& stored)
    {
        QByteArray plain;
        return CCipher::instance()->decrypt(QByteArray::fromBase64(stored.toLatin1()), plain)
                   ? QString::fromUtf8(plain)
                   : QString("(not encrypted: %1)").arg(stored);
    }

    static bool connectOnce(QLocalSocket& socket, const QString& name)
    {
        socket.abort();
        socket.connectToServer(name);
        return socket.waitForConnected(200);
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
