#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include <mutex>

// Faults a test switches on per endpoint through the control endpoint. A fault
// delays the answer and/or replaces it; with a count it ends by itself after
// that many requests. The endpoint "*" matches every endpoint without a fault
// of its own.
class FaultTable
{
public:
    struct Fault
    {
        QString endpoint;
        QString mode;       // see modes()
        int delayMs = 0;    // before answering, in every mode
        int remaining = -1; // requests left; -1 until cleared
        QString errorCode;
        QString errorMsg;
        qint64 timeOffset = 0;
        int status = 200;
        QByteArray body;
        QString contentType;

        QJsonObject toJson() const;
    };

    static const QStringList& modes();

    // False with error set when the description is not a fault.
    bool set(const QJsonObject& description, const QStringList& endpoints, QString& error);
    void clear(const QString& endpoint); // "" clears all
    // The fault for one request to endpoint, counted; false when none applies.
    bool take(const QString& endpoint, Fault& out);
    QJsonArray list() const;

private:
    mutable std::mutex m_mutex;
    QMap<QString, Fault> m_faults;
};
