#include "standins/localservice/faulttable.h"

#include "core/serviceerrors.h"

const QStringList& FaultTable::modes()
{
    static const QStringList all = {"delay", "empty",      "nonJson", "array", "wrongTypes", "http500",
                                    "fail",  "timeOffset", "kick",    "down",  "raw",        "truncated"};
    return all;
}

QJsonObject FaultTable::Fault::toJson() const
{
    QJsonObject o{{"endpoint", endpoint}, {"mode", mode}, {"delayMs", delayMs}, {"count", remaining}};
    if (mode == "fail") {
        o.insert("errorCode", errorCode);
        o.insert("errorMsg", errorMsg);
    } else if (mode == "timeOffset") {
        o.insert("timeOffest", timeOffset);
    } else if (mode == "raw") {
        o.insert("status", status);
        o.insert("body", QString::fromUtf8(body));
        o.insert("contentType", contentType);
    }
    return o;
}

bool FaultTable::set(const QJsonObject& d, const QStringList& endpoints, QString& error)
{
    Fault f;
    f.endpoint = d.value("endpoint").toString();
    if (f.endpoint != "*" && !endpoints.contains(f.endpoint)) {
        error = QString("unknown endpoint \"%1\"; known: *, %2").arg(f.endpoint, endpoints.join(", "));
        return false;
    }
    f.mode = d.value("mode").toString("delay");
    if (!modes().contains(f.mode)) {
        error = QString("unknown mode \"%1\"; known: %2").arg(f.mode, modes().join(", "));
        return false;
    }
    f.delayMs = d.value("delayMs").toInt(0);
    f.remaining = d.value("count").toInt(-1);
    if (f.delayMs < 0 || f.delayMs > 600000 || f.remaining == 0 || f.remaining < -1) {
        error = "\"delayMs\" must be 0 to 600000 and \"count\" positive (or absent)";
        return false;
    }
    if (f.mode == "fail") {
        f.errorCode = d.value("errorCode").toString("500");
        f.errorMsg = d.value("errorMsg").toString("服务器内部错误");
    } else if (f.mode == "kick") {
        f.errorCode = ServiceErrors::kSessionKicked;
        f.errorMsg = ServiceErrors::kSessionKickedText;
    } else if (f.mode == "timeOffset") {
        const QJsonValue value = d.contains("timeOffest") ? d.value("timeOffest") : d.value("timeOffset");
        f.timeOffset = value.isDouble() ? qint64(value.toDouble()) : 60000;
        f.errorCode = d.value("errorCode").toString("1103");
        f.errorMsg = d.value("errorMsg").toString("本机时间不正确");
    } else if (f.mode == "raw") {
        f.status = d.value("status").toInt(200);
        f.body = d.value("body").toString().toUtf8();
        f.contentType = d.value("contentType").toString("application/json; charset=utf-8");
        if (f.status < 100 || f.status > 599) {
            error = "\"status\" must be an HTTP status";
            return false;
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.insert(f.endpoint, f);
    return true;
}

void FaultTable::clear(const QString& endpoint)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (endpoint.isEmpty()) {
        m_faults.clear();
    } else {
        m_faults.remove(endpoint);
    }
}

bool FaultTable::take(const QString& endpoint, Fault& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_faults.find(endpoint);
    if (it == m_faults.end()) {
        it = m_faults.find("*");
    }
    if (it == m_faults.end()) {
        return false;
    }
    out = *it;
    if (it->remaining > 0 && --it->remaining == 0) {
        m_faults.erase(it);
    }
    return true;
}

QJsonArray FaultTable::list() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray all;
    for (const Fault& f : m_faults) {
        all.append(f.toJson());
    }
    return all;
}
