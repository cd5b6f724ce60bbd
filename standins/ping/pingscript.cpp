#include "standins/ping/pingscript.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
QString scriptPath()
{
    return QString::fromLocal8Bit(qgetenv("VANTELOR_PING_SCRIPT"));
}

PingScript::Step parseStep(const QJsonObject& o, PingScript::Step step = {})
{
    const QString result = o.value("result").toString();
    if (result == "fail") {
        step.result = PingScript::Result::Fail;
    } else if (result == "timeout") {
        step.result = PingScript::Result::Timeout;
    } else if (result == "ok") {
        step.result = PingScript::Result::Ok;
    }
    step.delayMs = o.value("delayMs").toInt(step.delayMs);
    step.hangMs = o.value("hangMs").toInt(step.hangMs);
    return step;
}

// Parallel pings (the projection manager starts several at once) share the
// state file, so every update runs under an exclusive lock.
class FileLock
{
public:
    explicit FileLock(const QString& path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_EX);
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_UN);
            ::close(m_fd);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd = -1;
};
} // namespace

PingScript::Step PingScript::stepFor(const QString& host)
{
    const QString path = scriptPath();
    if (path.isEmpty()) {
        return Step{};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Step{};
    }
    const QJsonObject hosts = QJsonDocument::fromJson(file.readAll()).object().value("hosts").toObject();
    const QJsonValue ruleValue = hosts.contains(host) ? hosts.value(host) : hosts.value("*");
    const int run = countRun(path, host);
    if (!ruleValue.isObject()) {
        return Step{};
    }
    const QJsonObject rule = ruleValue.toObject();
    const QJsonArray sequence = rule.value("sequence").toArray();
    if (!sequence.isEmpty()) {
        return parseStep(sequence.at(qMin(run, sequence.size() - 1)).toObject());
    }
    if (rule.contains("failFirst") && run < rule.value("failFirst").toInt()) {
        Step failing;
        failing.result = Result::Fail;
        failing.delayMs = rule.value("delayMs").toInt();
        return failing;
    }
    return parseStep(rule);
}

int PingScript::countRun(const QString& scriptPath, const QString& host)
{
    FileLock lock(scriptPath + ".lock");
    const QString statePath = scriptPath + ".state";
    QJsonObject state;
    QFile in(statePath);
    if (in.open(QIODevice::ReadOnly)) {
        state = QJsonDocument::fromJson(in.readAll()).object();
        in.close();
    }
    const int run = state.value(host).toInt();
    state.insert(host, run + 1);
    QSaveFile out(statePath);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QJsonDocument(state).toJson(QJsonDocument::Compact));
        out.commit();
    }
    return run;
}

void PingScript::logRun(const QStringList& args, const QString& host, int exitCode, const QString& note)
{
    const QString path = scriptPath();
    if (path.isEmpty()) {
        return;
    }
    QJsonObject line{{"time", QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                     {"args", QJsonArray::fromStringList(args)},
                     {"host", host},
                     {"exitCode", exitCode},
                     {"note", note}};
    FileLock lock(path + ".lock");
    QFile out(path + ".log");
    if (out.open(QIODevice::WriteOnly | QIODevice::Append)) {
        out.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
    }
}
