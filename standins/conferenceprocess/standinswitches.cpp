#include "standinswitches.h"

#include <QProcessEnvironment>

namespace {
QString value(const QProcessEnvironment& env, const char* name)
{
    return env.value(QStringLiteral("TANDEMLINK_STANDIN_") + QLatin1String(name));
}

int number(const QProcessEnvironment& env, const char* name, int fallback)
{
    bool ok = false;
    const int n = value(env, name).toInt(&ok);
    return ok ? n : fallback;
}

QStringList list(const QProcessEnvironment& env, const char* name)
{
    return value(env, name).split(',', Qt::SkipEmptyParts);
}
} // namespace

CStandinSwitches CStandinSwitches::fromEnvironment()
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    CStandinSwitches s;
    s.replyDelayMs = number(env, "REPLY_DELAY_MS", s.replyDelayMs);
    s.heartbeatMs = number(env, "HEARTBEAT_MS", s.heartbeatMs);
    s.firstDataDelayMs = number(env, "FIRST_DATA_MS", s.firstDataDelayMs);
    s.failOperations = list(env, "FAIL");
    s.errorCode = number(env, "ERROR_CODE", s.errorCode);
    s.errorMsg = value(env, "ERROR_MSG");
    if (s.errorMsg.isEmpty()) {
        s.errorMsg = QStringLiteral("refused by the stand-in");
    }
    s.noReplyOperations = list(env, "NO_REPLY");
    s.silentAfter = value(env, "SILENT_AFTER");
    s.exitAfter = value(env, "EXIT_AFTER");
    s.crashAfter = value(env, "CRASH_AFTER");
    const QString notify = value(env, "NOTIFY");
    if (!notify.isEmpty()) {
        s.notifyAfter = notify.section(':', 0, 0);
        s.notifyModule = notify.section(':', 1, 1);
        s.notifyCode = notify.section(':', 2, 2).toInt();
        s.notifyMsg = notify.section(':', 3); // the message may hold colons
    }
    s.split = value(env, "SPLIT") == QLatin1String("1");
    s.join = value(env, "JOIN") == QLatin1String("1");
    s.logFile = value(env, "LOG");
    s.simulatedShares = value(env, "SHARE") == QLatin1String("simulated");
    s.configFile = value(env, "CONFIG");
    s.simulatedConferences = value(env, "CONFERENCE") == QLatin1String("simulated");
    s.camera = value(env, "CAMERA");
    return s;
}

QString CStandinSwitches::describe() const
{
    QStringList parts{QString("reply delay %1 ms").arg(replyDelayMs),
                      QString("heartbeat %1 ms").arg(heartbeatMs)};
    if (firstDataDelayMs > 0) {
        parts << QString("first data after %1 ms").arg(firstDataDelayMs);
    }
    if (!failOperations.isEmpty()) {
        parts << QString("fail %1 with %2 \"%3\"").arg(failOperations.join(',')).arg(errorCode).arg(errorMsg);
    }
    if (!noReplyOperations.isEmpty()) {
        parts << "no reply to " + noReplyOperations.join(',');
    }
    if (!silentAfter.isEmpty()) {
        parts << "silent after " + silentAfter;
    }
    if (!exitAfter.isEmpty()) {
        parts << "exit after " + exitAfter;
    }
    if (!crashAfter.isEmpty()) {
        parts << "crash after " + crashAfter;
    }
    if (!notifyAfter.isEmpty()) {
        parts << QString("notify %1 %2 \"%3\" after %4")
                     .arg(notifyModule)
                     .arg(notifyCode)
                     .arg(notifyMsg, notifyAfter);
    }
    if (split) {
        parts << "split replies";
    }
    if (join) {
        parts << "join messages";
    }
    parts << (simulatedShares ? QStringLiteral("shares simulated")
                              : QStringLiteral("shares to meeting rooms"));
    parts << (simulatedConferences ? QStringLiteral("conferences simulated")
                                   : QStringLiteral("conferences on the media server"));
    if (!camera.isEmpty()) {
        parts << "camera " + camera;
    }
    if (!configFile.isEmpty()) {
        parts << "config " + configFile;
    }
    return parts.join(", ");
}
