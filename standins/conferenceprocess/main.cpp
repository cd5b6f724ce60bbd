// The conference process: conferences on the media server, shares by
// 4-character code to meeting-room receivers. The client
// starts it as TandemlinkSdk/TandemlinkSdk beside itself with one JSON
// argument, {"operation": "setservername", "clientappid": ..., "servername": ...}.
#include "receiver/roomserviceclient.h"
#include "standinsdk.h"
#include "standinswitches.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSettings>
#include <QUrl>

#include <cstdio>

namespace {
QString& logFilePath()
{
    static QString path;
    return path;
}

void logLine(QtMsgType, const QMessageLogContext&, const QString& text)
{
    static QMutex mutex;
    const QByteArray line = QString("[%1] TandemlinkSdk stand-in %2: %3\n")
                                .arg(QDateTime::currentDateTime().toString("yyyy/MM/dd hh:mm:ss.zzz"))
                                .arg(QCoreApplication::applicationPid())
                                .arg(text)
                                .toUtf8();
    QMutexLocker lock(&mutex);
    std::fwrite(line.constData(), 1, line.size(), stderr);
    if (!logFilePath().isEmpty()) {
        QFile file(logFilePath());
        if (file.open(QIODevice::Append)) {
            file.write(line);
        }
    }
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const CStandinSwitches switches = CStandinSwitches::fromEnvironment();
    logFilePath() = switches.logFile;
    qInstallMessageHandler(logLine);

    const QStringList args = app.arguments();
    const QJsonObject start =
        args.size() == 2 ? QJsonDocument::fromJson(args.at(1).toUtf8()).object() : QJsonObject();
    const QString serverName = start.value("servername").toString();
    if (start.value("operation").toString() != "setservername" || serverName.isEmpty()) {
        qWarning().noquote()
            << "usage: TandemlinkSdk "
               "'{\"operation\": \"setservername\", \"clientappid\": \"...\", \"servername\": \"...\"}'";
        return 2;
    }
    qDebug().noquote() << "started for client app id" << start.value("clientappid").toString();

    // The service and the credentials for shares to meeting rooms: written
    // beside the program by the build, from the deployment.
    const QString configFile = switches.configFile.isEmpty()
                                   ? QCoreApplication::applicationDirPath() + "/tandemlink.ini"
                                   : switches.configFile;
    RoomServiceClient::Settings rooms;
    QString problem;
    const bool haveRooms = RoomServiceClient::Settings::load(configFile, rooms, problem);
    if (haveRooms) {
        qDebug().noquote() << "meeting rooms at" << rooms.serviceOrigin;
    } else if (!switches.simulatedShares) {
        qDebug().noquote() << "no meeting-room service:" << problem << "- shares will fail";
    }

    // The conference media server, from the same file.
    const QUrl mediaServer(QSettings(configFile, QSettings::IniFormat).value("mediaServer").toString());
    if (!switches.simulatedConferences) {
        qDebug().noquote() << "conference media server:"
                           << (mediaServer.isValid() ? mediaServer.toString() : QStringLiteral("none"));
    }

    CStandinSdk sdk(switches, serverName, haveRooms ? &rooms : nullptr, mediaServer);
    sdk.start();
    return app.exec();
}
