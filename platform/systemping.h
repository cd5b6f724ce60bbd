#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The ping command in this system's syntax. Success is exit code 0.
class CSystemPing
{
public:
    // The program to run, as the start-up sets it from the deployment; a
    // relative name is looked up beside the client.
    static QString program();
    static void setProgram(const QString& program);
    // The host whose answer tells that the network works, set like the program.
    static QString host();
    static void setHost(const QString& host);
    // count echo requests, each waiting at most replyTimeoutMs for its reply.
    static QStringList arguments(int count, int replyTimeoutMs, const QString& host);
    // Runs a ping to its end and returns its exit code. Its output is
    // discarded (it must not reach the client's own output). The ping is
    // killed, and -1 returned, when it cannot start, crashes, runs longer
    // than timeoutMs (when not negative) or cancelled() turns true.
    static int run(const QString& program, const QStringList& args, int timeoutMs,
                   const std::function<bool()>& cancelled = {});
};
