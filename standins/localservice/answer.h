#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

// The answer envelope of every signed call: "success", "content", "errorCode",
// "errorMsg" and, when the client's clock is judged wrong, "timeOffest"
// (spelled so; the client's local time minus the service's, in milliseconds).
struct Answer
{
    bool success = false;
    QJsonValue content;
    QString errorCode;
    QString errorMsg;
    bool hasTimeOffset = false;
    qint64 timeOffset = 0;

    static Answer ok(const QJsonValue& content = QJsonValue());
    static Answer fail(const QString& errorCode, const QString& errorMsg);

    QByteArray toJson() const;
};
