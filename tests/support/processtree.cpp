#include "support/processtree.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTest>

namespace {
QByteArray readProcFile(qint64 pid, const char* name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    // /proc files report size 0: read them whole rather than by size.
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The parent of pid from /proc/<pid>/stat, -1 when it is gone. The command
// name field may hold spaces and parentheses: the state follows the last ')'.
qint64 parentOf(qint64 pid)
{
    const QByteArray stat = readProcFile(pid, "stat");
    const int close = stat.lastIndexOf(')');
    if (close < 0) {
        return -1;
    }
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() : -1;
}
} // namespace

ProcessTree ProcessTree::of(qint64 rootPid, bool withMemory)
{
    QHash<qint64, QList<qint64>> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid) {
            children[parentOf(pid)].append(pid);
        }
    }

    ProcessTree tree;
    QList<qint64> pending{rootPid};
    while (!pending.isEmpty()) {
        const qint64 pid = pending.takeFirst();
        tree.pids.append(pid);
        pending.append(children.value(pid));
    }
    for (const qint64 pid : qAsConst(tree.pids)) {
        const QByteArray program = readProcFile(pid, "cmdline").split('\0').value(0);
        const bool webEngine = QFileInfo(QString::fromLocal8Bit(program)).fileName() == "QtWebEngineProcess";
        if (pid != rootPid && webEngine) {
            ++tree.webEngineProcesses;
        }
        // Other children (a test's local service) are not the client's.
        if (!withMemory || (pid != rootPid && !webEngine)) {
            continue;
        }
        static const QRegularExpression pss(QStringLiteral("^Pss:\\s+(\\d+) kB"),
                                            QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match =
            pss.match(QString::fromLatin1(readProcFile(pid, "smaps_rollup")));
        if (match.hasMatch()) {
            tree.pssKiB += match.captured(1).toLongLong();
            if (pid == rootPid) {
                tree.rootPssKiB = match.captured(1).toLongLong();
            }
        }
    }
    tree.rootDescriptors = QDir(QStringLiteral("/proc/%1/fd").arg(rootPid))
                               .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                               .size();
    return tree;
}

ProcessTree ProcessTree::settled(qint64 rootPid, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    ProcessTree previous = of(rootPid);
    while (!deadline.hasExpired()) {
        // A sampling period: the figures settle over time, not on an event.
        QTest::qWait(1000);
        const ProcessTree now = of(rootPid);
        if (now.webEngineProcesses == previous.webEngineProcesses &&
            qAbs(now.pssKiB - previous.pssKiB) * 50 <= previous.pssKiB) {
            return now;
        }
        previous = now;
    }
    return previous;
}
