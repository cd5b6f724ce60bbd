#pragma once

#include <QString>
#include <QStringList>

// The ping command in this system's syntax. Success is exit code 0.
class CSystemPing
{
public:
    // The program to run (the deployment's unless set); a relative name is
    // looked up beside the client.
    static QString program();
    static void setProgram(const QString& program);
    // The host whose answer tells that the network works (the deployment's unless set).
    static QString host();
    static void setHost(const QString& host);
    // count echo requests, each waiting at most replyTimeoutMs for its reply.
    static QStringList arguments(int count, int replyTimeoutMs, const QString& host);
};
