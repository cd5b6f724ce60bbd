#include "conferenceroom.h"

#include <QDebug>
#include <QJsonArray>

namespace {
constexpr int kJoinTimeoutMs = 10000;
constexpr int kMaxPublishers = 16;
// The room exists already: someone else came first.
constexpr int kRoomExists = 427;

} // namespace

QString CConferenceRoom::errorText(Error error, const QString& detail)
{
    switch (error) {
    case ServerUnreachable:
        return QStringLiteral("无法连接会议服务器,请检查网络后重试");
    case JoinRefused:
        return detail.isEmpty() ? QStringLiteral("会议服务器拒绝加入会议")
                                : QStringLiteral("会议服务器拒绝加入会议:") + detail;
    case MediaFailed:
        return QStringLiteral("音视频连接失败,请稍后重试");
    case DeviceFailed:
        return QStringLiteral("无法启动摄像头或麦克风");
    case ServerLost:
        return QStringLiteral("与会议服务器的连接已断开,会议已结束");
    case NetworkFailed:
        return QStringLiteral("网络不稳定,会议已中断");
    }
    return QString();
}

CConferenceRoom::CConferenceRoom(const QUrl& server, const CWebRtcLink::Media& media, QObject* parent)
    : QObject(parent), m_server(server), m_media(media)
{
    m_joinTimeout.setSingleShot(true);
    m_joinTimeout.setInterval(kJoinTimeoutMs);
    connect(&m_joinTimeout, &QTimer::timeout, this, [this] {
        qDebug() << "no media connection in time";
        fail(m_publisher ? MediaFailed : ServerUnreachable);
    });
}

CConferenceRoom::~CConferenceRoom()
{
    leave();
}

CJanusClient::Answer CConferenceRoom::guarded(std::function<void(const CJanusMessage&)> fn)
{
    QPointer<CJanusClient> client(m_client);
    return [this, client, fn](const CJanusMessage& message) {
        if (client && client == m_client && m_state != State::Idle) {
            fn(message);
        }
    };
}

void CConferenceRoom::join(const QString& room, const QString& memberName)
{
    leave();
    m_state = State::Joining;
    m_room = room;
    m_memberName = memberName;
    m_joinTimeout.start();
    m_client = new CJanusClient(m_server, this);
    connect(m_client, &CJanusClient::event, this, &CConferenceRoom::onEvent);
    connect(m_client, &CJanusClient::lost, this, &CConferenceRoom::onClientLost);
    qDebug().noquote() << "joining" << room << "at" << m_server.toString();
    m_client->createSession(guarded([this](const CJanusMessage& reply) {
        if (reply.kind != CJanusMessage::Kind::Success) {
            qDebug().noquote() << "media server:" << reply.errorReason;
            fail(ServerUnreachable);
            return;
        }
        m_client->attach(guarded([this](const CJanusMessage& attached) {
            if (attached.kind != CJanusMessage::Kind::Success || attached.dataId == 0) {
                fail(JoinRefused, attached.errorReason);
                return;
            }
            m_handle = attached.dataId;
            createRoom();
        }));
    }));
}

void CConferenceRoom::createRoom()
{
    const QJsonObject create{{"request", "create"},  {"room", m_room},      {"publishers", kMaxPublishers},
                             {"audiocodec", "opus"}, {"videocodec", "vp8"}, {"permanent", false},
                             {"description", m_room}};
    m_client->message(m_handle, create, QJsonObject(), guarded([this](const CJanusMessage& reply) {
                          if (reply.kind == CJanusMessage::Kind::Error) {
                              fail(reply.errorCode < 0 ? ServerUnreachable : JoinRefused, reply.errorReason);
                          } else if (reply.pluginErrorCode != 0 && reply.pluginErrorCode != kRoomExists) {
                              fail(JoinRefused, reply.pluginError);
                          } else {
                              joinAsPublisher();
                          }
                      }));
}

void CConferenceRoom::joinAsPublisher()
{
    const QJsonObject body{
        {"request", "join"}, {"ptype", "publisher"}, {"room", m_room}, {"display", m_memberName}};
    m_client->message(m_handle, body, QJsonObject(), guarded([this](const CJanusMessage& reply) {
                          if (reply.kind == CJanusMessage::Kind::Error) {
                              fail(reply.errorCode < 0 ? ServerUnreachable : JoinRefused, reply.errorReason);
                              return;
                          }
                          if (reply.pluginErrorCode != 0 || reply.videoroom != QLatin1String("joined")) {
                              fail(JoinRefused, reply.pluginError);
                              return;
                          }
                          m_ownId = reply.participantId;
                          qDebug().noquote() << "in room" << m_room << "as" << m_ownId;
                          publish();
                          for (const CJanusMessage::Publisher& publisher : reply.publishers) {
                              subscribe(publisher);
                          }
                      }));
}

void CConferenceRoom::publish()
{
    CWebRtcLink::Media media = m_media;
    media.memberName = m_memberName;
    m_publisher = new CWebRtcLink(media, this);
    connect(m_publisher, &CWebRtcLink::localDescription, this,
            [this](const QString&, const QString& sdp) { onOffer(sdp); });
    connect(m_publisher, &CWebRtcLink::frame, this, &CConferenceRoom::previewFrame);
    connect(m_publisher, &CWebRtcLink::connected, this, [] { qDebug() << "own picture connected"; });
    connect(m_publisher, &CWebRtcLink::failed, this, [this](const QString& why) {
        qDebug().noquote() << "sending media failed:" << why;
        if (m_state == State::Joining) {
            fail(MediaFailed);
        } else if (m_state == State::Joined) {
            endLost(NetworkFailed);
        }
    });
    QString error;
    if (!m_publisher->startPublishing(error)) {
        qDebug().noquote() << "cannot send media:" << error;
        fail(DeviceFailed);
    }
}

void CConferenceRoom::onOffer(const QString& sdp)
{
    qDebug() << "offering the own picture";
    const QJsonObject body{{"request", "publish"}, {"audio", true}, {"video", true}};
    const QJsonObject jsep{{"type", "offer"}, {"sdp", sdp}, {"trickle", false}};
    m_client->message(m_handle, body, jsep, guarded([this](const CJanusMessage& reply) {
                          if (reply.kind == CJanusMessage::Kind::Error || reply.pluginErrorCode != 0 ||
                              reply.jsepType != QLatin1String("answer")) {
                              qDebug().noquote()
                                  << "publishing refused:" << reply.errorReason << reply.pluginError;
                              fail(MediaFailed);
                              return;
                          }
                          qDebug() << "the media server took the own picture";
                          m_publisher->setRemoteAnswer(reply.jsepSdp);
                      }));
}

void CConferenceRoom::becomeJoined()
{
    if (m_state != State::Joining) {
        return;
    }
    m_state = State::Joined;
    m_joinTimeout.stop();
    qDebug().noquote() << "publishing to" << m_room;
    emit joined();
}

void CConferenceRoom::subscribe(const CJanusMessage::Publisher& publisher)
{
    if (publisher.id == m_ownId || m_remotes.contains(publisher.id)) {
        return;
    }
    const QString feed = publisher.id;
    Remote remote;
    remote.name = publisher.display;
    m_remotes.insert(feed, remote);
    qDebug().noquote() << "member joined:" << publisher.display << feed;
    emit memberJoined(feed, publisher.display);

    m_client->attach(guarded([this, feed](const CJanusMessage& attached) {
        if (!m_remotes.contains(feed)) {
            return;
        }
        if (attached.kind != CJanusMessage::Kind::Success || attached.dataId == 0) {
            qDebug().noquote() << "cannot receive" << nameOf(feed) << ":" << attached.errorReason;
            return;
        }
        const qint64 handle = attached.dataId;
        m_remotes[feed].handle = handle;
        const QJsonObject body{{"request", "join"},
                               {"ptype", "subscriber"},
                               {"room", m_room},
                               {"streams", QJsonArray{QJsonObject{{"feed", feed}}}}};
        m_client->message(handle, body, QJsonObject(),
                          guarded([this, feed, handle](const CJanusMessage& reply) {
                              if (!m_remotes.contains(feed)) {
                                  return;
                              }
                              if (reply.jsepType != QLatin1String("offer")) {
                                  qDebug().noquote() << "no stream from" << nameOf(feed) << reply.errorReason
                                                     << reply.pluginError;
                                  return;
                              }
                              CWebRtcLink::Media media = m_media;
                              media.microphone = false;
                              auto* link = new CWebRtcLink(media, this);
                              m_remotes[feed].link = link;
                              connect(link, &CWebRtcLink::localDescription, this,
                                      [this, handle](const QString&, const QString& sdp) {
                                          m_client->message(handle, QJsonObject{{"request", "start"}},
                                                            QJsonObject{{"type", "answer"}, {"sdp", sdp}},
                                                            [](const CJanusMessage&) {});
                                      });
                              connect(link, &CWebRtcLink::frame, this, [this, feed](const QImage& image) {
                                  auto it = m_remotes.find(feed);
                                  if (it == m_remotes.end()) {
                                      return;
                                  }
                                  if (!it->shown) {
                                      it->shown = true;
                                      qDebug().noquote() << "first video frame from" << it->name;
                                  }
                                  emit memberFrame(feed, image);
                              });
                              connect(link, &CWebRtcLink::failed, this, [this, feed](const QString& why) {
                                  qDebug().noquote() << "receiving" << nameOf(feed) << "failed:" << why;
                              });
                              QString error;
                              if (!link->startReceiving(reply.jsepSdp, error)) {
                                  qDebug().noquote() << "cannot receive" << nameOf(feed) << ":" << error;
                              }
                          }));
    }));
}

QString CConferenceRoom::nameOf(const QString& feed) const
{
    return m_remotes.value(feed).name;
}

void CConferenceRoom::removeRemote(const QString& feed)
{
    const auto it = m_remotes.find(feed);
    if (it == m_remotes.end()) {
        return;
    }
    const Remote remote = it.value();
    m_remotes.erase(it);
    qDebug().noquote() << "member left:" << remote.name << feed;
    delete remote.link;
    if (m_client) {
        m_client->detach(remote.handle);
    }
    emit memberLeft(feed);
}

void CConferenceRoom::onEvent(const CJanusMessage& message)
{
    if (m_state == State::Idle) {
        return;
    }
    if (message.kind == CJanusMessage::Kind::Timeout) {
        endLost(ServerLost);
        return;
    }
    if (message.sender != m_handle || m_handle == 0) {
        // A received stream: its feed left, or its connection went.
        for (auto it = m_remotes.cbegin(); it != m_remotes.cend(); ++it) {
            if (it->handle == message.sender && message.kind == CJanusMessage::Kind::Hangup) {
                removeRemote(it.key());
                return;
            }
        }
        return;
    }
    switch (message.kind) {
    case CJanusMessage::Kind::WebRtcUp:
        becomeJoined();
        break;
    case CJanusMessage::Kind::Hangup:
        qDebug() << "the media server hung up";
        if (m_state == State::Joining) {
            fail(MediaFailed);
        } else {
            endLost(NetworkFailed);
        }
        break;
    case CJanusMessage::Kind::Event:
        for (const CJanusMessage::Publisher& publisher : message.publishers) {
            subscribe(publisher);
        }
        if (!message.unpublished.isEmpty()) {
            removeRemote(message.unpublished);
        }
        if (!message.leaving.isEmpty()) {
            removeRemote(message.leaving);
        }
        break;
    default:
        break;
    }
}

void CConferenceRoom::onClientLost(const QString& why)
{
    qDebug().noquote() << "lost the media server:" << why;
    if (m_state == State::Joining) {
        fail(ServerUnreachable);
    } else if (m_state == State::Joined) {
        endLost(ServerLost);
    }
}

void CConferenceRoom::fail(Error error, const QString& detail)
{
    if (m_state != State::Joining) {
        return;
    }
    end();
    emit joinFailed(error, errorText(error, detail));
}

void CConferenceRoom::endLost(Error error)
{
    end();
    emit lost(error, errorText(error));
}

void CConferenceRoom::leave()
{
    if (m_state == State::Idle) {
        return;
    }
    qDebug().noquote() << "leaving" << m_room;
    end();
}

// Drops every stream first, then the session: destroying it at the server
// takes this member out of the room for the others.
void CConferenceRoom::end()
{
    m_state = State::Idle;
    m_joinTimeout.stop();
    const QList<QString> feeds = m_remotes.keys();
    for (const QString& feed : feeds) {
        delete m_remotes.value(feed).link;
    }
    m_remotes.clear();
    delete m_publisher;
    m_publisher = nullptr;
    if (m_client) {
        CJanusClient* client = m_client;
        m_client = nullptr;
        disconnect(client, nullptr, this, nullptr);
        client->destroy();
        // Long enough for the destroy request to go out.
        QTimer::singleShot(2000, client, &QObject::deleteLater);
    }
    m_handle = 0;
    m_ownId.clear();
}

void CConferenceRoom::setMicrophoneMuted(bool muted)
{
    if (m_publisher) {
        m_publisher->setMicrophoneMuted(muted);
    }
}

void CConferenceRoom::setCameraOn(bool on)
{
    if (m_publisher) {
        m_publisher->setCameraOn(on);
    }
}
