#pragma once

#include <QFile>
#include <QFileInfo>
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

    // Installs messageHandler; other than debug messages go on to the handler before it.
    static void install();
    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
    // "log_" + ISO date + ".txt" (case aside): the only files trimming may delete.
    static bool isDailyLogName(const QString& fileName);

    static constexpr int kKeptLogs = 7;

private:
    CLogManager() = default;
    static QFileInfoList dailyLogs();
    void write(const QString& line);

    QString m_filePath;
    QTextStream m_stream;
    QFile m_file;
    QStringList m_pending;
    // The handler runs on every thread that logs.
    QMutex m_mutex;
};
