#include "standin.h"

#include "conference/tandemlinkapi.h"
#include "support/testenvironment.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace {
const char* const kPrefix = "TANDEMLINK_STANDIN_";

QString& currentLog()
{
    static QString path;
    return path;
}
} // namespace

void Standin::reset()
{
    const QStringList names = QProcessEnvironment::systemEnvironment().keys();
    for (const QString& name : names) {
        if (name.startsWith(kPrefix)) {
            qunsetenv(name.toLocal8Bit().constData());
        }
    }
    static int run = 0;
    currentLog() = QString("%1/standin-%2.log").arg(TestEnvironment::root()).arg(++run);
    set("LOG", currentLog());
    set("REPLY_DELAY_MS", "30");
    // The client's side of the protocol needs no meeting room and no media
    // server: shares and conferences are answered after the delay. Tests of
    // real shares and conferences unset these.
    set("SHARE", "simulated");
    set("CONFERENCE", "simulated");
    CTandemlinkAPI::instance()->setSdkPath(TestEnvironment::binary("TandemlinkSdk/TandemlinkSdk"));
    CTandemlinkAPI::instance()->setServerName("tandemlink_sdk_ipc_server");
}

void Standin::set(const char* name, const QString& value)
{
    qputenv((QByteArray(kPrefix) + name).constData(), value.toUtf8());
}

void Standin::unset(const char* name)
{
    qunsetenv((QByteArray(kPrefix) + name).constData());
}

QString Standin::logPath()
{
    return currentLog();
}

QString Standin::log()
{
    QFile file(currentLog());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QList<QJsonObject> Standin::received()
{
    QList<QJsonObject> commands;
    static const QRegularExpression line(R"(: received \S+ (\{.*\})$)", QRegularExpression::MultilineOption);
    auto it = line.globalMatch(log());
    while (it.hasNext()) {
        commands << QJsonDocument::fromJson(it.next().captured(1).toUtf8()).object();
    }
    return commands;
}

QStringList Standin::pids()
{
    QStringList ids;
    static const QRegularExpression line(R"(TandemlinkSdk stand-in (\d+):)");
    auto it = line.globalMatch(log());
    while (it.hasNext()) {
        const QString id = it.next().captured(1);
        if (!ids.contains(id)) {
            ids << id;
        }
    }
    return ids;
}
