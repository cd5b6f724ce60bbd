// A meeting-room receiver for trying projection without the room: listens on
// a loopback address, prints the code that names it, and accepts, refuses as
// busy or rejects projections. Lines on standard input switch it at run time:
// "accept", "busy", "reject", and "stop" to end the running projections.

#include "standins/projectionlib/receivercode.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
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
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"address", "IPv4 loopback address to listen on.", "address", "127.0.0.1"});
    parser.addOption({"port", "TCP port (the projection library's receiverPort).", "port", "47310"});
    parser.addOption({"mode", "accept, busy or reject.", "mode", "accept"});
    parser.addOption({"stop-after", "End each projection after this many ms.", "ms", "0"});
    parser.process(app);

    const QHostAddress address(parser.value("address"));
    bool isIpv4 = false;
    const quint32 ip = address.toIPv4Address(&isIpv4);
    if (!isIpv4 || (ip >> 24) != 127) {
        say("vantelor-receiver: only loopback addresses (127.0.0.0/8) are served");
        return 2;
    }
    QString mode = parser.value("mode");
    const int stopAfter = parser.value("stop-after").toInt();

    QTcpServer server;
    if (!server.listen(address, static_cast<quint16>(parser.value("port").toUShort()))) {
        say("vantelor-receiver: cannot listen: " + server.errorString());
        return 1;
    }
    say(QString("code: %1").arg(QString::fromStdString(receivercode::encode(ip & 0xffffff))));
    say(QString("listening on %1:%2").arg(address.toString()).arg(server.serverPort()));

    QList<QTcpSocket*> projecting;
    auto endProjection = [&](QTcpSocket* socket) {
        if (projecting.removeOne(socket)) {
            socket->write("STOP\n");
            socket->flush();
            socket->disconnectFromHost();
            say("projection ended by receiver");
        }
    };

    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [&, socket] {
            if (projecting.removeOne(socket)) {
                say("projection ended by sender");
            }
            socket->deleteLater();
        });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine().trimmed();
                if (line == "P2PDS/1 PROJECT") {
                    if (mode == "busy") {
                        say("refused: busy");
                        socket->write("BUSY\n");
                    } else if (mode == "reject") {
                        say("refused: rejected");
                        socket->write("REJECT 1\n");
                    } else {
                        say("projection started");
                        socket->write("ACCEPT\n");
                        projecting.append(socket);
                        if (stopAfter > 0) {
                            QTimer::singleShot(stopAfter, socket, [&, socket] { endProjection(socket); });
                        }
                    }
                } else if (line == "STOP") {
                    if (projecting.removeOne(socket)) {
                        say("projection stopped by sender");
                    }
                    socket->disconnectFromHost();
                }
            }
        });
    });

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
            if (command == "stop") {
                for (QTcpSocket* socket : QList<QTcpSocket*>(projecting)) {
                    endProjection(socket);
                }
            } else if (command == "accept" || command == "busy" || command == "reject") {
                mode = command;
                say("mode: " + mode);
            }
        }
    });
    return app.exec();
}
