#pragma once

#include "janusclient.h"
#include "webrtclink.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

// One member's part in a conference on the media server: the room named by
// the conference uuid (created by whoever comes first), this member's
// picture and sound published to it, and one received stream for every
// other member. Joining ends in joined() or joinFailed(); afterwards a
// server or network that goes away ends in lost().
class CConferenceRoom : public QObject
{
    Q_OBJECT
public:
    // The errorCode of a refused "conferencestart" and of a lost conference;
    // the texts are errorText().
    enum Error
    {
        ServerUnreachable = 81010,
        JoinRefused = 81011,
        MediaFailed = 81012,
        DeviceFailed = 81013,
        ServerLost = 81020,
        NetworkFailed = 81021,
    };
    static QString errorText(Error error, const QString& detail = QString());

    CConferenceRoom(const QUrl& server, const CWebRtcLink::Media& media, QObject* parent = nullptr);
    ~CConferenceRoom() override;

    void join(const QString& room, const QString& memberName);
    // Leaves at the server and drops every stream; no signal follows.
    void leave();
    bool isActive() const { return m_state != State::Idle; }
    QString room() const { return m_room; }

    void setMicrophoneMuted(bool muted);
    void setCameraOn(bool on);

signals:
    void joined();
    void joinFailed(int errorCode, const QString& errorMsg);
    void lost(int errorCode, const QString& errorMsg);
    void memberJoined(const QString& id, const QString& name);
    void memberLeft(const QString& id);
    void memberFrame(const QString& id, const QImage& image);
    void previewFrame(const QImage& image);

private:
    enum class State
    {
        Idle,
        Joining,
        Joined
    };
    struct Remote
    {
        qint64 handle = 0;
        QString name;
        QPointer<CWebRtcLink> link;
        bool shown = false;
    };

    // Wraps an answer so that it is ignored once this join is over.
    CJanusClient::Answer guarded(std::function<void(const CJanusMessage&)> fn);
    void createRoom();
    void joinAsPublisher();
    void publish();
    void onOffer(const QString& sdp);
    void becomeJoined();
    void subscribe(const CJanusMessage::Publisher& publisher);
    void removeRemote(const QString& feed);
    void onEvent(const CJanusMessage& message);
    void onClientLost(const QString& why);
    void fail(Error error, const QString& detail = QString());
    void end();
    void endLost(Error error);
    QString nameOf(const QString& feed) const;

    const QUrl m_server;
    const CWebRtcLink::Media m_media;
    State m_state = State::Idle;
    QString m_room;
    QString m_memberName;
    CJanusClient* m_client = nullptr;
    qint64 m_handle = 0;
    QString m_ownId;
    CWebRtcLink* m_publisher = nullptr;
    QHash<QString, Remote> m_remotes; // by feed (the member's publisher id)
    QTimer m_joinTimeout;
};
