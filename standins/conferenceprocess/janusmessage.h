#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// One message of the media server's HTTP API, and what the conference program
// reads of the VideoRoom plugin's answers. Everything from the server is
// outside input: parse() checks every field it hands on, so that a malformed
// answer is dropped and never reaches a pipeline.
struct CJanusMessage
{
    enum class Kind
    {
        Success,   // a synchronous request was done (create, attach, a room request)
        Ack,       // an asynchronous request was taken; its answer comes as an event
        Event,     // a plugin event, perhaps with a session description
        Error,     // the server refused the request
        WebRtcUp,  // a handle's peer connection is up
        Media,     // media started or stopped arriving on a handle
        Hangup,    // a handle's peer connection is gone
        Detached,  // a handle is gone
        Timeout,   // the session timed out at the server
        Keepalive, // the server answered a keepalive
        Other      // a message the program has no use for (slowlink, trickle, ...)
    };

    // Rooms and members are named by strings (numbers from a server set up
    // for numbers are taken as their decimal text).
    struct Publisher
    {
        QString id;
        QString display;
    };

    Kind kind = Kind::Other;
    QString transaction;
    qint64 sessionId = 0;
    qint64 sender = 0; // the handle the message is about
    qint64 dataId = 0; // data.id: the new session's or handle's id

    int errorCode = 0; // error.code of a refusal
    QString errorReason;

    // VideoRoom (plugindata.data)
    QString videoroom; // "joined", "attached", "event", "success", ...
    QString room;
    QString participantId; // "id" of a joined publisher
    QList<Publisher> publishers;
    QString unpublished; // a member stopped sending
    QString leaving;     // a member left the room
    int pluginErrorCode = 0;
    QString pluginError;

    // A session description (jsep): "offer" or "answer", and the SDP text.
    QString jsepType;
    QString jsepSdp;

    // The messages of one HTTP answer: an object, or (from a long poll) an
    // array of objects. False when the body is not that, or when any message
    // in it is malformed; then messages holds none of them.
    static bool parse(const QByteArray& body, QList<CJanusMessage>& messages);
    static bool parseOne(const QJsonObject& object, CJanusMessage& message);
};
