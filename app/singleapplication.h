#pragma once

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <memory>

class CLocalCommand;
class QLocalServer;
class QLocalSocket;
class CNamedMutex;

// The application object: keeps one client per user, hands a second start's
// command line to the first, and speaks the updater's tiny text protocol.
class SingleApplication : public QApplication
{
    Q_OBJECT
public:
    SingleApplication(int& argc, char** argv);
    ~SingleApplication() override;

    bool isRunning() const { return m_running; }
    void setMainWindow(QWidget* window) { m_mainWindow = window; }

    static const char* const kServerName;
    static const char* const kUpdaterServerName;
    // Connections read at once; more are closed unread.
    static constexpr int kMaxPendingCommands = 8;
    // A command is a word and a command line: anything beyond is dropped.
    static constexpr qint64 kMaxCommandBytes = 64 * 1024;

public slots:
    void newLocalConnection();
    void sendCloseToUpdater();

private:
    void listen(bool mayRemoveLeftover);
    void installTranslators();
    void readCommand(QLocalSocket* socket);
    void runCommand(const CLocalCommand& command);

    QPointer<QWidget> m_mainWindow;
    bool m_running = false;
    QLocalServer* m_localServer = nullptr;
    int m_pendingCommands = 0;
    QString m_serverName;
    std::unique_ptr<CNamedMutex> m_mutex;
};
