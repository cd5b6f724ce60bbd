#pragma once

#include <QString>

// The service's own log: every line goes to stderr and, once a data directory
// is set, to "localservice.log" in it. Safe to call from any server thread.
class ServiceLog
{
public:
    static void setDataDirectory(const QString& dir);
    static void write(const QString& line);
    // Where SMS codes go instead of a phone: the log and "sms-codes.txt".
    static void writeSmsCode(const QString& phone, const QString& type, const QString& code);
    static QString smsCodeFile();
};
