// vantelor-receiver: the meeting-room receiver. It listens for projections,
// shows its code while idle and the sender's screen while projecting.
// Loopback only unless --listen names an address of a real network.
// Lines on standard input switch it at run time: "accept", "busy", "reject",
// and "stop" to end the running projection.

#include "receiver/receiverserver.h"
#include "receiver/receiverwindow.h"
#include "streaming/receivercode.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QHostAddress>
#include <QRegularExpression>
#include <QScreen>
#include <QSocketNotifier>
#include <QTextStream>

#include <gst/gst.h>
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
