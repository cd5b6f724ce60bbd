#include "standinsdk.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

#include <csignal>
#include <unistd.h>

namespace {
constexpr int kConnectRetryMs = 100;
constexpr int kConnectGiveUpMs = 5000;
constexpr int kSplitGapMs = 100;
constexpr int kDieAfterReplyMs = 300;

constexpr int kTypeHeartbeat = 10000;
constexpr int kTypeReply = 10001;
constexpr int kTypeNotification = 10002;

// The stand-in's own refusals, so that a developer sees realistic failures.
constexpr int kErrInvalidParameters = 2;
constexpr int kErrInvalidScreenCode = 3;
constexpr int kErrUnknownOperation = 9;

// A share that ends on the receiver's side, as the real engine reports it.
constexpr int kCodeShareInterrupted = 81001;
constexpr int kCodeShareEnded = 81002;

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray message(int type, const QJsonObject& data)
{
    return compact(QJsonObject{{"type", type}, {"data", data}});
}

// The data of a reply (type 10001).
QJsonObject result(const QString& operation, bool success = true, int errorCode = 0,
                   const QString& errorMsg = QString())
{
    return QJsonObject{
        {"operation", operation}, {"success", success}, {"errorCode", errorCode}, {"errorMsg", errorMsg}};
}
} // namespace

CStandinSdk::CStandinSdk(const CStandinSwitches& switches, const QString& serverName,
                         const RoomServiceClient::Settings* rooms, const QUrl& mediaServer, QObject* parent)
    : QObject(parent), m_switches(switches), m_serverName(serverName), m_roomShare(rooms),
      m_mediaServer(mediaServer)
{
    connect(&m_roomShare, &CRoomShare::started, this, [this] { deliver(result("sharestart")); });
    connect(&m_roomShare, &CRoomShare::failed, this, [this](int code, const QString& text) {
        m_screenCode.clear();
        deliver(result("sharestart", false, code, text));
    });
    connect(&m_roomShare, &CRoomShare::ended, this, &CStandinSdk::onRoomShareEnded);
    connect(&m_socket, &QLocalSocket::connected, this, &CStandinSdk::onConnected);
    connect(&m_socket, &QLocalSocket::readyRead, this, &CStandinSdk::onReadyRead);
    connect(&m_socket, &QLocalSocket::disconnected, this, &CStandinSdk::onDisconnected);
    connect(&m_heartbeat, &QTimer::timeout, this, &CStandinSdk::sendHeartbeat);
}

CStandinSdk::~CStandinSdk()
{
    delete m_conference;
    delete m_window;
}

void CStandinSdk::start()
{
    qDebug().noquote() << "switches:" << m_switches.describe();
    m_connectClock.start();
    tryConnect();
}

void CStandinSdk::tryConnect()
{
    m_socket.connectToServer(m_serverName);
    if (m_socket.waitForConnected(kConnectRetryMs)) {
        return; // onConnected has run
    }
    if (m_connectClock.elapsed() > kConnectGiveUpMs) {
        qDebug().noquote() << "cannot connect to" << m_serverName << ":" << m_socket.errorString()
                           << "- exiting";
        QCoreApplication::exit(1);
        return;
    }
    m_socket.abort();
    QTimer::singleShot(kConnectRetryMs, this, &CStandinSdk::tryConnect);
}

void CStandinSdk::onConnected()
{
    qDebug().noquote() << "connected to" << m_serverName;
    if (m_switches.silentAfter == QLatin1String("connect")) {
        qDebug() << "staying silent from the start";
        m_silent = true;
        return;
    }
    QTimer::singleShot(m_switches.firstDataDelayMs, this, &CStandinSdk::sendHeartbeat);
    if (m_switches.heartbeatMs > 0) {
        m_heartbeat.start(m_switches.heartbeatMs);
    }
}

void CStandinSdk::onDisconnected()
{
    qDebug() << "the client closed the connection - exiting";
    if (m_conference && m_conference->isActive()) {
        // Leaving tells the others at once; give the request time to go out.
        leaveConference();
        QTimer::singleShot(kDieAfterReplyMs, [] { QCoreApplication::exit(0); });
        return;
    }
    QCoreApplication::exit(0);
}

void CStandinSdk::sendHeartbeat()
{
    if (!m_firstDataSent) {
        qDebug() << "sending the first heartbeat (type 10000)";
    }
    send({message(kTypeHeartbeat, QJsonObject{})});
}

void CStandinSdk::onReadyRead()
{
    const QList<QByteArray> objects = m_stream.feed(m_socket.readAll());
    if (m_stream.droppedBytes() > 0) {
        qDebug().noquote() << "dropped" << m_stream.droppedBytes() << "bytes outside any command";
    }
    for (const QByteArray& object : objects) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(object, &error);
        if (!document.isObject()) {
            qDebug().noquote() << "not a command:" << error.errorString() << QString::fromUtf8(object);
            continue;
        }
        handleCommand(document.object());
    }
}

void CStandinSdk::handleCommand(const QJsonObject& cmd)
{
    const QString operation = cmd.value("operation").toString();
    qDebug().noquote() << "received" << operation << QString::fromUtf8(compact(cmd));
    if (m_switches.noReplyOperations.contains(operation)) {
        qDebug().noquote() << "leaving" << operation << "unanswered";
        // An exit or crash set for this operation still happens, while the
        // client waits for the answer.
        afterReply(operation);
        return;
    }
    // The delay plays an engine's time; a conference on the media server takes its own.
    const bool realConference =
        operation.startsWith(QLatin1String("conference")) && !m_switches.simulatedConferences;
    QTimer::singleShot(realConference ? 0 : m_switches.replyDelayMs, this, [this, cmd] { answer(cmd); });
}

QJsonObject CStandinSdk::runCommand(const QJsonObject& cmd)
{
    const QString operation = cmd.value("operation").toString();
    const QJsonObject reply = result(operation);
    const auto refuse = [&operation](int code, const QString& text) {
        return result(operation, false, code, text);
    };
    if (m_switches.failOperations.contains(operation)) {
        return refuse(m_switches.errorCode, m_switches.errorMsg);
    }
    if (operation == "conferencestart") {
        const QString uuid = cmd.value("conferenceuuid").toString();
        if (uuid.isEmpty() || cmd.value("memberid").toString().isEmpty()) {
            return refuse(kErrInvalidParameters, "invalid parameters");
        }
        m_conferenceUuid = uuid;
        if (!m_switches.simulatedConferences) {
            // Answered once this member is in the room, or with why not.
            joinConference(uuid, cmd.value("membername").toString());
            return QJsonObject();
        }
        qDebug().noquote() << "joined conference" << uuid << "as" << cmd.value("membername").toString();
    } else if (operation == "conferencedisconnect") {
        // Leaving is idempotent, as with the real engine.
        qDebug().noquote() << "left conference" << (m_conferenceUuid.isEmpty() ? "(none)" : m_conferenceUuid);
        leaveConference();
        m_conferenceUuid.clear();
    } else if (operation == "sharestart") {
        const QString code = cmd.value("screencode").toString();
        if (!QRegularExpression("^[0-9A-Za-z]{4}$").match(code).hasMatch()) {
            return refuse(kErrInvalidScreenCode, "invalid screen code");
        }
        m_screenCode = code;
        const QString name = cmd.value("memebername").toString();
        if (!m_switches.simulatedShares) {
            // Answered once the receiver took the stream, or with why not.
            m_roomShare.start(code, name);
            return QJsonObject();
        }
        qDebug().noquote() << "simulating a share to " + (name.isEmpty() ? code : code + " as " + name);
    } else if (operation == "sharestop") {
        qDebug().noquote() << "stopped sharing"
                           << (m_screenCode.isEmpty() ? QStringLiteral("(none)") : "to " + m_screenCode);
        m_roomShare.stop();
        m_screenCode.clear();
    } else {
        return refuse(kErrUnknownOperation, "unknown operation");
    }
    return reply;
}

CWebRtcLink::Media CStandinSdk::media() const
{
    CWebRtcLink::Media media;
    if (m_switches.camera.isEmpty()) {
        media.camera = QFileInfo::exists("/dev/video0") ? QStringLiteral("/dev/video0") : QString();
    } else if (m_switches.camera != QLatin1String("none")) {
        media.camera = m_switches.camera;
    }
    // The sound server of the session, when there is one; else silence.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const bool soundServer = qEnvironmentVariableIsSet("PULSE_SERVER") ||
                             (!runtime.isEmpty() && QFileInfo::exists(runtime + "/pulse/native"));
    media.microphone = soundServer;
    media.speaker = soundServer;
    return media;
}

void CStandinSdk::joinConference(const QString& uuid, const QString& memberName)
{
    const auto refuse = [this](int code, const QString& text) {
        m_conferenceUuid.clear();
        deliver(result("conferencestart", false, code, text));
    };
    if (!m_mediaServer.isValid()) {
        qDebug() << "no media server known - cannot join";
        refuse(CConferenceRoom::ServerUnreachable,
               CConferenceRoom::errorText(CConferenceRoom::ServerUnreachable));
        return;
    }
    if (!m_conference) {
        m_conference = new CConferenceRoom(m_mediaServer, media(), this);
        m_window = new CConferenceWindow;
        connect(m_conference, &CConferenceRoom::joined, this, [this] {
            qDebug().noquote() << "joined conference" << m_conference->room();
            deliver(result("conferencestart"));
        });
        connect(m_conference, &CConferenceRoom::joinFailed, this,
                [this, refuse](int code, const QString& text) {
                    qDebug().noquote() << "cannot join:" << code << text;
                    m_window->hide();
                    m_window->reset();
                    refuse(code, text);
                });
        connect(m_conference, &CConferenceRoom::lost, this, [this](int code, const QString& text) {
            qDebug().noquote() << "conference lost:" << code << text;
            m_conferenceUuid.clear();
            m_window->showLost(text);
            notify("conference", code, text);
        });
        connect(m_conference, &CConferenceRoom::memberJoined, m_window, &CConferenceWindow::addMember);
        connect(m_conference, &CConferenceRoom::memberLeft, m_window, [this](const QString& id) {
            m_window->removeMember(id);
            qDebug().noquote() << "participants:" << m_window->memberCount() + 1;
        });
        connect(m_conference, &CConferenceRoom::memberFrame, m_window, &CConferenceWindow::showMemberFrame);
        connect(m_conference, &CConferenceRoom::previewFrame, m_window, &CConferenceWindow::showPreview);
        connect(m_window, &CConferenceWindow::microphoneMuted, m_conference,
                &CConferenceRoom::setMicrophoneMuted);
        connect(m_window, &CConferenceWindow::cameraSwitched, m_conference, &CConferenceRoom::setCameraOn);
        connect(m_window, &CConferenceWindow::leaveRequested, this, [this] {
            qDebug().noquote() << "left conference" << m_conferenceUuid << "from its window";
            leaveConference();
            m_conferenceUuid.clear();
            // For the client as if it had asked to leave.
            deliver(result("conferencedisconnect"));
        });
    }
    m_window->start(uuid, memberName);
    m_conference->join(uuid, memberName);
}

void CStandinSdk::leaveConference()
{
    if (m_conference) {
        m_conference->leave();
    }
    if (m_window) {
        m_window->hide();
        m_window->reset();
    }
}

void CStandinSdk::answer(const QJsonObject& cmd)
{
    const QJsonObject reply = runCommand(cmd);
    if (!reply.isEmpty()) {
        deliver(reply);
    }
}

void CStandinSdk::onRoomShareEnded(int reason)
{
    m_screenCode.clear();
    switch (reason) {
    case P2PDsClientSessionProxy::TakenOver:
        notify("projection", kCodeShareInterrupted, "bye");
        break;
    case P2PDsClientSessionProxy::EndedByReceiver:
        // Stopped in the meeting room: for the client as if it had stopped.
        deliver(result("sharestop"));
        break;
    case P2PDsClientSessionProxy::CaptureFailed:
        notify("projection", kCodeShareEnded, QStringLiteral("屏幕采集失败,投屏已停止"));
        break;
    default:
        notify("projection", kCodeShareInterrupted, "ICE state failed");
        break;
    }
}

void CStandinSdk::notify(const QString& module, int errorCode, const QString& errorMsg)
{
    const QJsonObject data{{"module", module}, {"errorCode", errorCode}, {"errorMsg", errorMsg}};
    qDebug().noquote() << "notification" << QString::fromUtf8(compact(data));
    send({message(kTypeNotification, data)});
}

void CStandinSdk::deliver(const QJsonObject& reply)
{
    const QString operation = reply.value("operation").toString();
    qDebug().noquote() << "reply" << QString::fromUtf8(compact(reply));

    QList<QByteArray> messages{message(kTypeReply, reply)};
    if (m_switches.notifyAfter == operation) {
        const QJsonObject data{{"module", m_switches.notifyModule},
                               {"errorCode", m_switches.notifyCode},
                               {"errorMsg", m_switches.notifyMsg}};
        qDebug().noquote() << "notification" << QString::fromUtf8(compact(data));
        messages << message(kTypeNotification, data);
    } else if (m_switches.join) {
        messages << message(kTypeHeartbeat, QJsonObject{});
    }
    send(messages);
    afterReply(operation);
}

void CStandinSdk::afterReply(const QString& operation)
{
    if (m_switches.silentAfter == operation) {
        qDebug().noquote() << "going silent after" << operation;
        m_silent = true;
        m_heartbeat.stop();
    }
    if (m_switches.exitAfter == operation) {
        qDebug().noquote() << "exiting after" << operation;
        QTimer::singleShot(kDieAfterReplyMs, [] { QCoreApplication::exit(0); });
    }
    if (m_switches.crashAfter == operation) {
        qDebug().noquote() << "crashing after" << operation;
        QTimer::singleShot(kDieAfterReplyMs, [] { ::kill(::getpid(), SIGKILL); });
    }
}

void CStandinSdk::send(const QList<QByteArray>& messages)
{
    if (m_silent || messages.isEmpty()) {
        return;
    }
    m_firstDataSent = true;
    if (m_switches.join) {
        m_outgoing.append({messages.join(), 0});
    } else {
        for (const QByteArray& bytes : messages) {
            if (m_switches.split && bytes.size() > 1) {
                const int half = bytes.size() / 2;
                m_outgoing.append({bytes.left(half), kSplitGapMs});
                m_outgoing.append({bytes.mid(half), 0});
            } else {
                m_outgoing.append({bytes, 0});
            }
        }
    }
    if (!m_pumping) {
        pump();
    }
}

// Writes queued chunks in order; a split message holds back everything after
// its first half until the second half is out.
void CStandinSdk::pump()
{
    m_pumping = false;
    while (!m_outgoing.isEmpty()) {
        const Chunk chunk = m_outgoing.takeFirst();
        m_socket.write(chunk.bytes);
        m_socket.flush();
        if (chunk.gapAfterMs > 0) {
            m_pumping = true;
            QTimer::singleShot(chunk.gapAfterMs, this, &CStandinSdk::pump);
            return;
        }
    }
}
