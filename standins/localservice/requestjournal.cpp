#include "standins/localservice/requestjournal.h"

#include <QDateTime>

namespace {
const int kKeptEntries = 2000;
const int kKeptBodyBytes = 64 * 1024;
} // namespace

qint64 RequestJournal::begin(const QString& endpoint, const QString& method, const QString& target,
                             const QJsonObject& headers, const QByteArray& body)
{
    Entry e;
    e.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    e.endpoint = endpoint;
    e.method = method;
    e.target = target;
    e.headers = headers;
    e.body = body.left(kKeptBodyBytes);
    std::lock_guard<std::mutex> lock(m_mutex);
    e.seq = m_nextSeq++;
    m_entries.append(e);
    if (m_entries.size() > kKeptEntries) {
        m_entries.remove(0, m_entries.size() - kKeptEntries);
    }
    return e.seq;
}

RequestJournal::Entry* RequestJournal::find(qint64 seq)
{
    for (int i = m_entries.size() - 1; i >= 0; --i) {
        if (m_entries[i].seq == seq) {
            return &m_entries[i];
        }
    }
    return nullptr;
}

void RequestJournal::setForm(qint64 seq, const QJsonArray& form)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Entry* e = find(seq)) {
        e->form = form;
    }
}

void RequestJournal::finish(qint64 seq, int status, const QString& outcome)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Entry* e = find(seq)) {
        e->status = status;
        e->outcome = outcome;
    }
}

QJsonArray RequestJournal::list(const QString& endpoint, qint64 sinceSeq) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray all;
    for (const Entry& e : m_entries) {
        if (e.seq <= sinceSeq || (!endpoint.isEmpty() && e.endpoint != endpoint)) {
            continue;
        }
        all.append(QJsonObject{{"seq", e.seq},
                               {"time", e.time},
                               {"endpoint", e.endpoint},
                               {"method", e.method},
                               {"target", e.target},
                               {"headers", e.headers},
                               {"body", QString::fromUtf8(e.body)},
                               {"form", e.form},
                               {"status", e.status},
                               {"outcome", e.outcome}});
    }
    return all;
}

void RequestJournal::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
}
