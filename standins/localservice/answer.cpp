#include "standins/localservice/answer.h"

#include <QJsonDocument>
#include <QJsonObject>

Answer Answer::ok(const QJsonValue& content)
{
    Answer a;
    a.success = true;
    a.content = content;
    return a;
}

Answer Answer::fail(const QString& errorCode, const QString& errorMsg)
{
    Answer a;
    a.errorCode = errorCode;
    a.errorMsg = errorMsg;
    return a;
}

QByteArray Answer::toJson() const
{
    QJsonObject o{{"success", success},
                  {"content", content.isUndefined() ? QJsonValue() : content},
                  {"errorCode", errorCode},
                  {"errorMsg", errorMsg}};
    if (hasTimeOffset) {
        o.insert("timeOffest", timeOffset);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
