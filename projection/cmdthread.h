#pragma once

#include <QStringList>
#include <QThread>

// Runs one short command (a ping) on its own thread; success() carries the
// arguments when it exits with 0 within five seconds. An interruption request
// ends the command at once.
class CCmdThread : public QThread
{
    Q_OBJECT
public:
    using QThread::QThread;
    void setCommand(const QString& program, const QStringList& args);
    int exitCode() const { return m_exitCode; }

    static constexpr int kTimeLimitMs = 5000;

signals:
    void success(QStringList para);

protected:
    void run() override;

private:
    QString m_program;
    QStringList m_args;
    int m_exitCode = -1;
};
