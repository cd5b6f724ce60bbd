#include "janusmessage.h"

#include "platform/jsontext.h"

#include <QHash>
#include <QJsonArray>

#include <cmath>

namespace {
constexpr int kMaxMessagesPerAnswer = 256;
constexpr int kMaxSdpBytes = 256 * 1024;
constexpr int kMaxPublishers = 64;

// Server ids are positive integers below 2^53 (JSON numbers as doubles).
bool readId(const QJsonValue& value, qint64& id)
{
    if (value.isUndefined()) {
        return true;
    }
    if (!value.isDouble()) {
        return false;
    }
    const double number = value.toDouble();
    if (!(number >= 0 && number <= 9007199254740992.0) || std::floor(number) != number) {
        return false;
    }
    id = static_cast<qint64>(number);
    return true;
}

bool readString(const QJsonValue& value, QString& text)
{
    if (value.isUndefined() || value.isNull()) {
        return true;
    }
    if (!value.isString()) {
        return false;
    }
    text = value.toString();
    return true;
}

bool readCode(const QJsonValue& value, int& code)
{
    if (value.isUndefined()) {
        return true;
    }
    if (!value.isDouble()) {
        return false;
    }
    const double number = value.toDouble();
    if (!(number >= -1e9 && number <= 1e9)) {
        return false;
    }
    code = static_cast<int>(number);
    return true;
}

bool readName(const QJsonValue& value, QString& name)
{
    if (value.isDouble()) {
        qint64 id = 0;
        if (!readId(value, id)) {
            return false;
        }
        name = QString::number(id);
        return true;
    }
    return readString(value, name);
}

CJanusMessage::Kind kindOf(const QString& janus)
{
    using Kind = CJanusMessage::Kind;
    static const QHash<QString, Kind> kinds{
        {"success", Kind::Success},     {"ack", Kind::Ack},           {"event", Kind::Event},
        {"error", Kind::Error},         {"webrtcup", Kind::WebRtcUp}, {"media", Kind::Media},
        {"hangup", Kind::Hangup},       {"detached", Kind::Detached}, {"timeout", Kind::Timeout},
        {"keepalive", Kind::Keepalive},
    };
    return kinds.value(janus, Kind::Other);
}

bool readPublishers(const QJsonValue& value, QList<CJanusMessage::Publisher>& publishers)
{
    if (value.isUndefined()) {
        return true;
    }
    if (!value.isArray() || value.toArray().size() > kMaxPublishers) {
        return false;
    }
    for (const QJsonValue& entry : value.toArray()) {
        if (!entry.isObject()) {
            return false;
        }
        const QJsonObject object = entry.toObject();
        CJanusMessage::Publisher publisher;
        if (!readName(object.value("id"), publisher.id) || publisher.id.isEmpty() ||
            !readString(object.value("display"), publisher.display)) {
            return false;
        }
        publishers << publisher;
    }
    return true;
}

// "leaving" and "unpublished" name a member, or say "ok" when it is this handle.
bool readLeft(const QJsonValue& value, QString& id)
{
    if (!readName(value, id)) {
        return false;
    }
    if (id == QLatin1String("ok")) {
        id.clear();
    }
    return true;
}

bool readPluginData(const QJsonValue& value, CJanusMessage& message)
{
    if (value.isUndefined()) {
        return true;
    }
    if (!value.isObject()) {
        return false;
    }
    const QJsonValue data = value.toObject().value("data");
    if (!data.isObject()) {
        return false;
    }
    const QJsonObject d = data.toObject();
    return readString(d.value("videoroom"), message.videoroom) && readName(d.value("room"), message.room) &&
           readName(d.value("id"), message.participantId) &&
           readPublishers(d.value("publishers"), message.publishers) &&
           readLeft(d.value("unpublished"), message.unpublished) &&
           readLeft(d.value("leaving"), message.leaving) &&
           readCode(d.value("error_code"), message.pluginErrorCode) &&
           readString(d.value("error"), message.pluginError);
}

bool readJsep(const QJsonValue& value, CJanusMessage& message)
{
    if (value.isUndefined()) {
        return true;
    }
    if (!value.isObject()) {
        return false;
    }
    const QJsonObject jsep = value.toObject();
    if (!readString(jsep.value("type"), message.jsepType) ||
        !readString(jsep.value("sdp"), message.jsepSdp)) {
        return false;
    }
    const bool known =
        message.jsepType == QLatin1String("offer") || message.jsepType == QLatin1String("answer");
    return known && !message.jsepSdp.isEmpty() && message.jsepSdp.size() <= kMaxSdpBytes &&
           message.jsepSdp.startsWith(QLatin1String("v=0"));
}
} // namespace

bool CJanusMessage::parseOne(const QJsonObject& object, CJanusMessage& message)
{
    const QJsonValue janus = object.value("janus");
    if (!janus.isString()) {
        return false;
    }
    message = CJanusMessage();
    message.kind = kindOf(janus.toString());
    if (!readString(object.value("transaction"), message.transaction) ||
        !readId(object.value("session_id"), message.sessionId) ||
        !readId(object.value("sender"), message.sender)) {
        return false;
    }
    const QJsonValue data = object.value("data");
    if (!data.isUndefined() && (!data.isObject() || !readId(data.toObject().value("id"), message.dataId))) {
        return false;
    }
    const QJsonValue error = object.value("error");
    if (!error.isUndefined()) {
        if (!error.isObject() || !readCode(error.toObject().value("code"), message.errorCode) ||
            !readString(error.toObject().value("reason"), message.errorReason)) {
            return false;
        }
    }
    if (message.kind == Kind::Error && message.errorCode == 0) {
        return false;
    }
    return readPluginData(object.value("plugindata"), message) && readJsep(object.value("jsep"), message);
}

bool CJanusMessage::parse(const QByteArray& body, QList<CJanusMessage>& messages)
{
    messages.clear();
    const QJsonDocument document = CJsonText::parse(body);
    QJsonArray objects;
    if (document.isObject()) {
        objects.append(document.object());
    } else if (document.isArray()) {
        objects = document.array();
    } else {
        return false;
    }
    if (objects.size() > kMaxMessagesPerAnswer) {
        return false;
    }
    QList<CJanusMessage> parsed;
    for (const QJsonValue& value : objects) {
        CJanusMessage message;
        if (!value.isObject() || !parseOne(value.toObject(), message)) {
            return false;
        }
        parsed << message;
    }
    messages = parsed;
    return true;
}
