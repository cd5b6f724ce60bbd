#include "app/singleapplication.h"

#include "app/applog.h"
#include "core/logtext.h"
#include "platform/localcommand.h"
#include "platform/localsocketname.h"
#include "platform/namedmutex.h"

#include <QDebug>
#include <QLibraryInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLocale>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>

const char* const SingleApplication::kServerName = "marlunemain";
const char* const SingleApplication::kUpdaterServerName = "marluneupdater";

namespace {
void writeCommand(QLocalSocket& socket, const QString& command)
{
    QTextStream stream(&socket);
    stream << command;
    stream.flush();
    socket.waitForBytesWritten(30000);
}
} // namespace

SingleApplication::SingleApplication(int& argc, char** argv)
    : QApplication(argc, argv), m_serverName(localSocketName(kServerName))
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName, QIODevice::ReadWrite);
    if (socket.waitForConnected(500)) {
        m_running = true;
        writeCommand(socket, (QStringList{QStringLiteral("activate")} + arguments()).join(' '));
        return;
    }
    // Only a refused connection proves the socket file is a leftover of a dead
    // instance; anything else (a busy instance, another user's socket) is left alone.
    listen(socket.error() == QLocalSocket::ConnectionRefusedError);
    installTranslators();
    m_mutex = std::make_unique<CNamedMutex>(kServerName);
    connect(this, &QCoreApplication::aboutToQuit, this, &SingleApplication::sendCloseToUpdater);
}

SingleApplication::~SingleApplication() = default;

void SingleApplication::listen(bool mayRemoveLeftover)
{
    m_localServer = new QLocalServer(this);
    m_localServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_localServer, &QLocalServer::newConnection, this, &SingleApplication::newLocalConnection);
    if (m_localServer->listen(m_serverName)) {
        return;
    }
    if (m_localServer->serverError() == QAbstractSocket::AddressInUseError && mayRemoveLeftover) {
        QLocalServer::removeServer(m_serverName);
        if (m_localServer->listen(m_serverName)) {
            return;
        }
    }
    qCDebug(lcApp).noquote() << "SingleApplication: listen failed:" << m_localServer->errorString();
}

void SingleApplication::installTranslators()
{
    const QString locale = QLocale::system().name();
    const QString dir = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    auto* qtTranslator = new QTranslator(this);
    qtTranslator->load("qt_" + locale, dir);
    installTranslator(qtTranslator);
    auto* webEngineTranslator = new QTranslator(this);
    webEngineTranslator->load(locale, dir + "/qtwebengine_locales");
    installTranslator(webEngineTranslator);
}

void SingleApplication::newLocalConnection()
{
    // Each connection gets up to 1000 ms to send its command, waited for
    // without blocking the window or the other connections.
    while (QLocalSocket* socket = m_localServer ? m_localServer->nextPendingConnection() : nullptr) {
        if (m_pendingCommands >= kMaxPendingCommands) {
            qCDebug(lcApp) << "newLocalConnection: too many connections, one closed unread";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_pendingCommands;
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [this, socket] { readCommand(socket); });
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { readCommand(socket); });
        if (socket->bytesAvailable() > 0) {
            readCommand(socket);
        } else {
            timer->start(1000);
        }
    }
}

void SingleApplication::readCommand(QLocalSocket* socket)
{
    // One read per connection: the first data (or none after the wait).
    QObject::disconnect(socket, &QLocalSocket::readyRead, socket, nullptr);
    if (QTimer* timer = socket->findChild<QTimer*>()) {
        timer->stop();
    }
    --m_pendingCommands;
    const CLocalCommand command = CLocalCommand::parse(socket->read(kMaxCommandBytes));
    socket->abort();
    socket->deleteLater();
    runCommand(command);
}

void SingleApplication::runCommand(const CLocalCommand& command)
{
    qCDebug(lcApp).noquote() << "newLocalConnection: cmd :" + LogText::excerpt(command.text);

    if (command.kind == CLocalCommand::None) {
        return;
    }
    if (command.kind == CLocalCommand::Close) {
        m_localServer->close();
        if (m_mainWindow) {
            m_mainWindow->close();
        }
    } else if (command.kind == CLocalCommand::UpdaterNotice) {
        // Notices from the updater: nothing to show.
    } else if (m_mainWindow) {
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
        m_mainWindow->setWindowState((m_mainWindow->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        m_mainWindow->show();
    }
}

void SingleApplication::sendCloseToUpdater()
{
    QLocalSocket socket;
    socket.connectToServer(localSocketName(kUpdaterServerName), QIODevice::ReadWrite);
    if (!socket.waitForConnected(100)) {
        return;
    }
    writeCommand(socket, QStringLiteral("close"));
    qCDebug(lcApp) << "cmd close send to marlune updater";
}
