#include "core/logmanager.h"

#include "core/corelog.h"
#include "core/logtext.h"
#include "platform/filemodes.h"

#include <QCoreApplication>
#include <QDate>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace {
// Where messages other than debug go: standard error, as before the log.
QtMessageHandler previousHandler = nullptr;
} // namespace

QString dataDirectory()
{
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                             QCoreApplication::applicationName());
    return QFileInfo(settings.fileName()).absolutePath();
}

CLogManager& CLogManager::instance()
{
    static CLogManager manager;
    return manager;
}

void CLogManager::start()
{
    // The directory holds the remembered password and the logs: this user's only.
    restrictDirectoryToUser(dataDirectory());
    removeOldLogs();
    for (const QFileInfo& log : dailyLogs()) {
        restrictFileToUser(log.absoluteFilePath());
    }
    openLogFile();
}

QFileInfoList CLogManager::dailyLogs()
{
    QFileInfoList logs;
    for (const QFileInfo& info : QDir(dataDirectory()).entryInfoList(QDir::Files)) {
        if (isDailyLogName(info.fileName())) {
            logs.append(info);
        }
    }
    return logs;
}

void CLogManager::install()
{
    previousHandler = qInstallMessageHandler(&CLogManager::messageHandler);
}

bool CLogManager::isDailyLogName(const QString& fileName)
{
    static const QRegularExpression daily(R"(^log_\d{4}-\d{2}-\d{2}\.txt$)",
                                          QRegularExpression::CaseInsensitiveOption);
    return daily.match(fileName).hasMatch();
}

void CLogManager::removeOldLogs()
{
    // Only the client's own daily files count; anything else is the user's.
    QFileInfoList logs = dailyLogs();
    if (logs.size() <= kKeptLogs) {
        return;
    }
    // Sort ourselves rather than trust the listing order.
    std::sort(logs.begin(), logs.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.lastModified() > b.lastModified(); });
    for (int i = kKeptLogs; i < logs.size(); ++i) {
        QFile::remove(logs.at(i).absoluteFilePath());
    }
}

void CLogManager::openLogFile()
{
    const QString dir = dataDirectory();
    QDir().mkpath(dir);
    QMutexLocker locker(&m_mutex);
    m_filePath = dir + "/log_" + QDate::currentDate().toString(Qt::ISODate) + ".txt";
    m_file.close();
    m_file.setFileName(m_filePath);
    const QIODevice::OpenMode mode = m_file.exists() ? QIODevice::Append : QIODevice::ReadWrite;
    const bool opened = m_file.open(mode);
    if (opened) {
        restrictFileToUser(m_filePath);
    }
    m_stream.setDevice(&m_file);
    if (opened) {
        m_stream << "\n\n\n********************************** \n";
        m_stream.flush();
    }
    locker.unlock();
    if (!opened) {
        qCDebug(lcCore).noquote() << "CLogManager open file error:" + m_file.errorString();
    }
    qCDebug(lcCore).noquote() << "CLogManager log file name:" + m_filePath;
}

void CLogManager::write(const QString& line)
{
    QMutexLocker locker(&m_mutex);
    m_pending.append(line);
    for (const QString& pending : qAsConst(m_pending)) {
        m_stream << pending << "\n";
    }
    m_stream.flush();
    m_pending.clear();
}

void CLogManager::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg) {
        instance().write(qFormatLogMessage(type, context, message));
        return;
    }
    // Warnings and fatal errors stay visible (a fatal one ends the process with
    // only this word), with any ticket or token they quote masked.
    if (previousHandler) {
        previousHandler(type, context, LogText::maskedInText(message));
    }
}
