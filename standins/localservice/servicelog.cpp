#include "standins/localservice/servicelog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <mutex>

namespace {
std::mutex& logMutex()
{
    static std::mutex mutex;
    return mutex;
}

QString& dataDirectory()
{
    static QString dir;
    return dir;
}

void append(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        file.write(bytes);
    }
}
} // namespace

void ServiceLog::setDataDirectory(const QString& dir)
{
    std::lock_guard<std::mutex> lock(logMutex());
    dataDirectory() = dir;
}

void ServiceLog::write(const QString& line)
{
    const QByteArray text =
        ("[" + QDateTime::currentDateTime().toString("yyyy/MM/dd hh:mm:ss.zzz") + "] " + line + "\n")
            .toUtf8();
    std::lock_guard<std::mutex> lock(logMutex());
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
    if (!dataDirectory().isEmpty()) {
        append(dataDirectory() + "/localservice.log", text);
    }
}

void ServiceLog::writeSmsCode(const QString& phone, const QString& type, const QString& code)
{
    write(QString("SMS code for %1 (%2): %3 (not sent; valid 5 minutes)").arg(phone, type, code));
    std::lock_guard<std::mutex> lock(logMutex());
    if (!dataDirectory().isEmpty()) {
        const QString line = QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + " " + phone + " " +
                             type + " " + code + "\n";
        append(dataDirectory() + "/sms-codes.txt", line.toUtf8());
    }
}

QString ServiceLog::smsCodeFile()
{
    std::lock_guard<std::mutex> lock(logMutex());
    return dataDirectory().isEmpty() ? QString() : dataDirectory() + "/sms-codes.txt";
}
