#include "app/singleapplication.h"
#include "core/applicationidentity.h"
#include "platform/localsocketname.h"
#include "support/testenvironment.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QWidget>
#include <QtTest>

// Runs inside a SingleApplication that is the first instance, and drives it
// over its local socket as the updater and a second start would.
namespace {
QStringList g_commands;

void captureCommands(QtMsgType, const QMessageLogContext&, const QString& message)
{
    const QString prefix = "newLocalConnection: cmd :";
    if (message.startsWith(prefix)) {
        g_commands << message.mid(prefix.size());
    }
}
} // namespace

class TestSingleApplication : public QObject
{
    Q_OBJECT
public:
    explicit TestSingleApplication(SingleApplication* app) : m_app(app) {}

private slots:
    void initTestCase()
    {
        QVERIFY(!m_app->isRunning());
        m_app->setQuitOnLastWindowClosed(false);
        m_window.resize(300, 200);
        m_window.show();
        m_app->setMainWindow(&m_window);
        qInstallMessageHandler(&captureCommands);
    }
    void cleanupTestCase() { qInstallMessageHandler(nullptr); }

    void serverIsPerUser()
    {
        const QString path = localSocketName("marlunemain");
        QVERIFY(path.startsWith(TestEnvironment::runtimeDir()));
        QFileInfo info(path);
        QVERIFY(info.exists());
        QVERIFY(!(info.permissions() &
                  (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup)));
        QVERIFY(QFileInfo::exists(TestEnvironment::runtimeDir() + "/marlunemain.lock"));
    }

    void commands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("raises");
        QTest::newRow("activate with arguments") << "activate /opt/vantelor/vantelor --x" << true;
        QTest::newRow("unknown text") << "hello" << true;
        QTest::newRow("close is case-sensitive") << "Close" << true;
        QTest::newRow("update available") << "updateAvaliable" << false;
        QTest::newRow("update unavailable") << "updateUnAvaliable" << false;
        QTest::newRow("blanks only") << "   " << false;
    }
    void commands()
    {
        QFETCH(QString, command);
        QFETCH(bool, raises);
        m_window.showMinimized();
        QVERIFY(m_window.windowState() & Qt::WindowMinimized);

        send(command);

        QTRY_COMPARE(g_commands.value(g_commands.size() - 1), command);
        QCOMPARE(!(m_window.windowState() & Qt::WindowMinimized), raises);
        QVERIFY(m_window.isVisible());
    }

    void secondStartHandsOverAndExits()
    {
        m_window.showMinimized();
        QProcess second;
        const QString program = TestEnvironment::binary("vantelor");
        second.start(program, {"--from", "second"});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(g_commands.value(g_commands.size() - 1), "activate " + program + " --from second");
        QVERIFY(!(m_window.windowState() & Qt::WindowMinimized));
    }

    // Each idle connection waits for its command on its own, so they hold
    // neither the window nor each other; past the bound they are closed unread.
    void idleConnectionsAreBoundedAndHoldNothing()
    {
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < SingleApplication::kMaxPendingCommands; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(localSocketName("marlunemain"));
            QVERIFY(idle.back()->waitForConnected(2000));
        }
        QLocalSocket extra;
        extra.connectToServer(localSocketName("marlunemain"));
        QVERIFY(extra.waitForConnected(2000));
        QTRY_COMPARE_WITH_TIMEOUT(extra.state(), QLocalSocket::UnconnectedState, 900);
        for (const auto& socket : idle) {
            QCOMPARE(socket->state(), QLocalSocket::ConnectedState);
        }
        // Their wait ends at 1000 ms each, all at once.
        for (const auto& socket : idle) {
            QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QLocalSocket::UnconnectedState, 3000);
        }
        send("activate after idle");
        QTRY_COMPARE(g_commands.value(g_commands.size() - 1), QString("activate after idle"));
    }

    void loggedCommandIsBoundedAndEscaped()
    {
        const QString forged = "activate\n[2026/01/01 00:00:00.000] forged " + QString(5000, 'x');
        send(forged);
        QTRY_VERIFY(g_commands.value(g_commands.size() - 1).startsWith("activate\\n[2026/01/01"));
        const QString logged = g_commands.last();
        QVERIFY(!logged.contains('\n'));
        QVERIFY2(logged.size() < 400, qPrintable(QString::number(logged.size())));
    }

    // Last: it closes the server.
    void closeWithTrailingBlanksClosesServerAndWindow()
    {
        send("close   ");
        QTRY_VERIFY(!m_window.isVisible());
        QLocalSocket socket;
        socket.connectToServer(localSocketName("marlunemain"));
        QVERIFY(!socket.waitForConnected(500));
    }

private:
    void send(const QString& command)
    {
        QLocalSocket socket;
        socket.connectToServer(localSocketName("marlunemain"));
        QVERIFY(socket.waitForConnected(2000));
        socket.write(command.toUtf8());
        QVERIFY(socket.waitForBytesWritten(2000));
        socket.disconnectFromServer();
    }

    SingleApplication* m_app;
    QWidget m_window;
};

int main(int argc, char** argv)
{
    TestEnvironment::isolate();
    setApplicationIdentity();
    SingleApplication app(argc, argv);
    TestSingleApplication test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleapplication.moc"
