// vantelor-receiver: the meeting-room receiver. It listens for projections,
// shows its code while idle and the sender's screen while projecting.
// Loopback only unless --listen names an address of a real network.
// Lines on standard input switch it at run time: "accept", "busy", "reject",
// and "stop" to end the running projection.
// --register <service origin> (a demo of what the cloud service does for
// meeting rooms) also registers it as a room there, which gives it its
// 4-character share code, shown beside the 5-character one.

#include "receiver/receiverserver.h"
#include "receiver/receiverwindow.h"
#include "receiver/roomregistration.h"
#include "streaming/receivercode.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QHostAddress>
#include <QRegularExpression>
#include <QScreen>
#include <QSocketNotifier>
#include <QTextStream>

#include <QUrl>

#include <gst/gst.h>
#include <memory>
#include <unistd.h>

namespace {
QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

void say(const QString& text)
{
    out() << text << Qt::endl;
}

bool parseMode(const QString& text, ReceiverServer::Mode& mode)
{
    if (text == "accept") {
        mode = ReceiverServer::Accept;
    } else if (text == "busy") {
        mode = ReceiverServer::Busy;
    } else if (text == "reject") {
        mode = ReceiverServer::Reject;
    } else {
        return false;
    }
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    gst_init(&argc, &argv);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"address", "IPv4 loopback address to listen on.", "address", "127.0.0.1"});
    parser.addOption(
        {"listen", "IPv4 address of a meeting-room network to listen on instead of loopback.", "address"});
    parser.addOption({"port", "TCP port (the projection library's receiverPort).", "port", "47310"});
    parser.addOption({"mode", "accept, busy or reject.", "mode", "accept"});
    parser.addOption({"stop-after", "End each projection after this many ms.", "ms", "0"});
    parser.addOption({"windowed", "A window of this size instead of full screen, e.g. 1280x720.", "WxH"});
    parser.addOption({"register",
                      "Register as a meeting room at this service origin (e.g. http://127.0.0.1:18480).",
                      "origin"});
    parser.addOption({"room-name", "The meeting room's name (with --register).", "name"});
    parser.addOption({"credentials",
                      "INI file with the conference app credentials (appId, appKey) for --register; "
                      "default: the one the build wrote beside the conference program.",
                      "file"});
    parser.process(app);

    const bool network = parser.isSet("listen");
    const QHostAddress address(network ? parser.value("listen") : parser.value("address"));
    bool isIpv4 = false;
    const quint32 ip = address.toIPv4Address(&isIpv4);
    if (!isIpv4) {
        say("vantelor-receiver: not an IPv4 address: " + address.toString());
        return 2;
    }
    if (!network && (ip >> 24) != 127) {
        say("vantelor-receiver: only loopback addresses (127.0.0.0/8) are served; use --listen for a "
            "network");
        return 2;
    }
    ReceiverServer::Mode mode = ReceiverServer::Accept;
    if (!parseMode(parser.value("mode"), mode)) {
        say("vantelor-receiver: unknown mode " + parser.value("mode"));
        return 2;
    }
    QSize windowed;
    if (parser.isSet("windowed")) {
        const auto match = QRegularExpression("^(\\d{2,5})x(\\d{2,5})$").match(parser.value("windowed"));
        if (!match.hasMatch()) {
            say("vantelor-receiver: --windowed takes WIDTHxHEIGHT, e.g. 1280x720");
            return 2;
        }
        windowed = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    }

    RoomServiceClient::Settings roomSettings;
    if (parser.isSet("register")) {
        const QString file = parser.isSet("credentials")
                                 ? parser.value("credentials")
                                 : QCoreApplication::applicationDirPath() + "/TandemlinkSdk/tandemlink.ini";
        QString problem;
        if (!RoomServiceClient::Settings::load(file, roomSettings, problem)) {
            say("vantelor-receiver: no conference app credentials for --register: " + problem);
            return 2;
        }
        roomSettings.serviceOrigin = parser.value("register");
        if (!QUrl(roomSettings.serviceOrigin).isValid() ||
            QUrl(roomSettings.serviceOrigin).host().isEmpty()) {
            say("vantelor-receiver: --register takes a service origin, e.g. http://127.0.0.1:18480");
            return 2;
        }
    }

    ReceiverServer server;
    server.setMode(mode);
    server.setStopAfter(parser.value("stop-after").toInt());
    QString problem;
    if (!server.listen(address, static_cast<quint16>(parser.value("port").toUShort()), problem)) {
        say("vantelor-receiver: cannot listen: " + problem);
        return 1;
    }
    const QString code = QString::fromStdString(receivercode::encode(ip & 0xffffff));

    ReceiverWindow window(code, address.toString());
    QObject::connect(&server, &ReceiverServer::message, &say);
    QObject::connect(&server, &ReceiverServer::pictureReady, &window, &ReceiverWindow::showPicture);
    QObject::connect(&server, &ReceiverServer::projectionEnded, &window, &ReceiverWindow::showIdle);
    QObject::connect(&window, &ReceiverWindow::stopRequested, &server, &ReceiverServer::stopProjection);
    QObject::connect(&server, &ReceiverServer::projectionStarted, &window, &ReceiverWindow::showSharer);
    if (windowed.isValid()) {
        window.resize(windowed);
        window.show();
    } else {
        // Without a window manager full-screen is only a hint: take the screen's size too.
        window.setGeometry(QGuiApplication::primaryScreen()->geometry());
        window.showFullScreen();
    }

    say(QString("code: %1").arg(code));
    say(QString("listening on %1:%2").arg(address.toString()).arg(server.port()));

    std::unique_ptr<RoomRegistration> room;
    if (parser.isSet("register")) {
        const QString name = parser.isSet("room-name") ? parser.value("room-name") : "会议室 " + code;
        room = std::make_unique<RoomRegistration>(roomSettings, name, address.toString(), server.port());
        QObject::connect(room.get(), &RoomRegistration::message, &say);
        QObject::connect(room.get(), &RoomRegistration::codeChanged, &window, &ReceiverWindow::setRoomCode);
        room->start();
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof(buffer) - 1);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        for (const QString& word :
             QString::fromLatin1(buffer, static_cast<int>(n)).split('\n', Qt::SkipEmptyParts)) {
            const QString command = word.trimmed();
            ReceiverServer::Mode newMode;
            if (command == "stop") {
                server.stopProjection();
            } else if (parseMode(command, newMode)) {
                server.setMode(newMode);
                say("mode: " + command);
            }
        }
    });
    return app.exec();
}
