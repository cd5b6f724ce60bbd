#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

#include <mutex>

// The requests the service received, newest last, for tests to read back:
// endpoint, method, target, headers, body, decoded form, answer status and
// outcome ("accepted", "refused: <reason>", "failed: <code>", "fault: <mode>").
class RequestJournal
{
public:
    struct Entry
    {
        qint64 seq = 0;
        QString time;
        QString endpoint;
        QString method;
        QString target;
        QJsonObject headers;
        QByteArray body;
        QJsonArray form;
        int status = 0;
        QString outcome;
    };

    qint64 begin(const QString& endpoint, const QString& method, const QString& target,
                 const QJsonObject& headers, const QByteArray& body);
    void setForm(qint64 seq, const QJsonArray& form);
    void finish(qint64 seq, int status, const QString& outcome);
    // endpoint "" lists all; only entries after sinceSeq.
    QJsonArray list(const QString& endpoint, qint64 sinceSeq) const;
    void clear();

private:
    Entry* find(qint64 seq);

    mutable std::mutex m_mutex;
    QVector<Entry> m_entries;
    qint64 m_nextSeq = 1;
};
