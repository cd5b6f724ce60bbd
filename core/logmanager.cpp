#include "core/logmanager.h"

#include <QCoreApplication>
#include <QDate>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

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
    removeOldLogs();
    openLogFile();
}

void CLogManager::removeOldLogs()
{
    QFileInfoList files = QDir(dataDirectory()).entryInfoList(QDir::Files, QDir::Time);
    if (files.size() <= kKeptLogs) {
        return;
    }
    QFileInfoList logs;
    for (const QFileInfo& info : files) {
        if (info.fileName().startsWith("log", Qt::CaseInsensitive)) {
            logs.append(info);
        }
    }
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
    m_stream.setDevice(&m_file);
    if (opened) {
        m_stream << "\n\n\n********************************** \n";
        m_stream.flush();
    }
    locker.unlock();
    if (!opened) {
        qDebug().noquote() << "CLogManager open file error:" + m_file.errorString();
    }
    qDebug().noquote() << "CLogManager log file name:" + m_filePath;
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
    const QString line = qFormatLogMessage(type, context, message);
    if (type == QtDebugMsg) {
        instance().write(line);
    }
}
