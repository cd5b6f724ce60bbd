#pragma once

#include <QFile>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QtGlobal>

// Directory of the settings file; the log files, the weather cache and the web
// engine's storage live there too.
QString dataDirectory();

// One log file a day in the data directory; receives every debug message.
class CLogManager
{
public:
    static CLogManager& instance();

    void start();
    void removeOldLogs();
    void openLogFile();
    QString filePath() const { return m_filePath; }

    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    static constexpr int kKeptLogs = 7;

private:
    CLogManager() = default;
    void write(const QString& line);

    QString m_filePath;
    QTextStream m_stream;
    QFile m_file;
    QStringList m_pending;
    // The handler runs on every thread that logs.
    QMutex m_mutex;
};
