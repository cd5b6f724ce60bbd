#include "standins/localservice/printservice.h"
#include "platform/jsontext.h"

#include "standins/localservice/answer.h"
#include "standins/localservice/httputil.h"
#include "standins/localservice/localservice.h"
#include "standins/localservice/servicelog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>

#include <cctype>

PrintService::PrintService(LocalService& service) : m_service(service)
{
    service.route("POST", "/print/online/upload", "printUpload",
                  [this](const httplib::Request& q, httplib::Response& r, qint64) { return upload(q, r); });
    service.route("GET", "/print/online/jobs", "printJobs",
                  [this](const httplib::Request& q, httplib::Response& r, qint64) { return list(q, r); });
    service.routePlain("GET", "/__control/printjobs", [this](const httplib::Request&, httplib::Response& r) {
        HttpUtil::sendJson(r, QJsonObject{{"ok", true}, {"jobs", jobsJson()}});
    });
}

QString PrintService::tokenFor(qint64 accountId) const
{
    // Derived, not stored: it stays valid across restarts of the service.
    return QString::fromLatin1(QMessageAuthenticationCode::hash("print:" + QByteArray::number(accountId),
                                                                m_service.deployment().hmacSecret.toUtf8(),
                                                                QCryptographicHash::Sha256)
                                   .toHex());
}

void PrintService::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.clear();
    if (!folder().isEmpty()) {
        QDir(folder()).removeRecursively();
    }
}

QString PrintService::folder() const
{
    return m_service.dataDirectory().isEmpty() ? QString() : m_service.dataDirectory() + "/printjobs";
}

QJsonObject PrintService::Job::toJson() const
{
    return QJsonObject{{"jobId", id},
                       {"accountId", accountId},
                       {"jobKey", key},
                       {"title", title},
                       {"user", user},
                       {"copies", copies},
                       {"pages", pages},
                       {"bytes", bytes},
                       {"time", QDateTime::fromMSecsSinceEpoch(receivedMs).toString(Qt::ISODate)}};
}

QJsonArray PrintService::jobsJson() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray all;
    for (const Job& job : m_jobs) {
        all.append(job.toJson());
    }
    return all;
}

void PrintService::saveIndex() const
{
    QJsonArray all;
    for (const Job& job : m_jobs) {
        all.append(job.toJson());
    }
    QFile index(folder() + "/index.json");
    if (index.open(QIODevice::WriteOnly)) {
        index.write(QJsonDocument(all).toJson());
    }
}

int PrintService::pageCount(const QByteArray& pdf)
{
    // Page objects ("/Type /Page", not "/Pages") outside object streams;
    // enough for the job list.
    int pages = 0;
    for (int at = pdf.indexOf("/Type"); at >= 0; at = pdf.indexOf("/Type", at + 5)) {
        int i = at + 5;
        while (i < pdf.size() && QByteArray(" \r\n\t").contains(pdf.at(i))) {
            ++i;
        }
        if (pdf.mid(i, 5) == "/Page" && (i + 5 >= pdf.size() || !std::isalpha(uchar(pdf.at(i + 5))))) {
            ++pages;
        }
    }
    return pages;
}

QString PrintService::upload(const httplib::Request& req, httplib::Response& res)
{
    const auto field = [&req](const char* name) {
        return req.has_file(name) ? QByteArray::fromStdString(req.get_file_value(name).content)
                                  : QByteArray();
    };
    const auto refuse = [&res](const QString& code, const QString& message) {
        HttpUtil::sendJson(res, Answer::fail(code, message).toJson());
        return "failed: " + code + " " + message;
    };
    if (!req.is_multipart_form_data()) {
        return refuse("1602", "请求格式错误: expected multipart/form-data");
    }
    const QJsonObject info = CJsonText::parse(field("printInfo")).object();
    const qint64 accountId = info.value("accountId").toVariant().toLongLong();
    const QString token = info.value("printToken").toString();
    if (token.isEmpty() || accountId <= 0 || token != tokenFor(accountId)) {
        return refuse("1601", "打印凭证无效，请重新登录Vantelor客户端后再打印");
    }
    const QByteArray pdf = field("file");
    if (!pdf.startsWith("%PDF-")) {
        return refuse("1603", "打印文件不是PDF");
    }
    Job job;
    job.accountId = accountId;
    job.key = QString::fromUtf8(field("jobKey"));
    job.title = QString::fromUtf8(field("title"));
    job.user = QString::fromUtf8(field("user"));
    job.copies = qMax(1, field("copies").toInt());
    job.pages = pageCount(pdf);
    job.bytes = pdf.size();
    job.receivedMs = m_service.nowMs();

    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Job& stored : qAsConst(m_jobs)) {
        if (!job.key.isEmpty() && stored.accountId == accountId && stored.key == job.key) {
            // A driver that retries after a lost answer: the job is there once.
            HttpUtil::sendJson(
                res,
                Answer::ok(QJsonObject{{"jobId", stored.id}, {"pages", stored.pages}, {"duplicate", true}})
                    .toJson());
            return "accepted: " + stored.id + " again";
        }
    }
    job.id = QString::number(m_nextId++);
    if (!folder().isEmpty()) {
        QDir().mkpath(folder());
        QFile file(folder() + "/" + job.id + ".pdf");
        if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size()) {
            HttpUtil::sendJson(res, Answer::fail("500", "打印文件无法保存").toJson(), 500);
            return "failed: cannot store the job";
        }
    }
    m_jobs.append(job);
    if (!folder().isEmpty()) {
        saveIndex();
    }
    ServiceLog::write(QString("print: job %1 of account %2 stored (%3, %4 pages, %5 bytes)")
                          .arg(job.id)
                          .arg(accountId)
                          .arg(job.title)
                          .arg(job.pages)
                          .arg(job.bytes));
    HttpUtil::sendJson(
        res, Answer::ok(QJsonObject{{"jobId", job.id}, {"pages", job.pages}, {"duplicate", false}}).toJson());
    return "accepted: " + job.id;
}

QString PrintService::list(const httplib::Request& req, httplib::Response& res)
{
    const QJsonObject user = m_service.accounts().userForTicket(HttpUtil::query(req, "ticket"));
    const auto pageOf = [](const QString& body) {
        return QString("<!DOCTYPE html><html lang=\"zh-CN\"><head><meta "
                       "charset=\"utf-8\"><title>我的打印任务</title>"
                       "<style>body{font-family:sans-serif;margin:24px;color:#333}"
                       "table{border-collapse:collapse;min-width:560px}"
                       "th,td{border-bottom:1px solid #ddd;padding:6px 12px;text-align:left}"
                       "th{color:rgb(1,149,255)}</style></head><body><h1>我的打印任务</h1>%1</body></html>")
            .arg(body);
    };
    if (user.isEmpty()) {
        HttpUtil::send(res, pageOf("<p>请在 Vantelor 客户端中登录后打开此页面。</p>").toUtf8(),
                       "text/html; charset=utf-8", 403);
        return "failed: no valid ticket";
    }
    const qint64 accountId = user.value("id").toVariant().toLongLong();
    QString rows;
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_jobs.crbegin(); it != m_jobs.crend(); ++it) {
            if (it->accountId != accountId) {
                continue;
            }
            ++count;
            const QString size = it->bytes >= 1024 * 1024
                                     ? QString::number(it->bytes / (1024.0 * 1024.0), 'f', 1) + " MB"
                                     : QString::number(qMax<qint64>(1, it->bytes / 1024)) + " KB";
            rows += QString("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>")
                        .arg(HttpUtil::htmlEscape(it->title))
                        .arg(it->pages)
                        .arg(size)
                        .arg(QDateTime::fromMSecsSinceEpoch(it->receivedMs).toString("yyyy-MM-dd hh:mm:ss"));
        }
    }
    const QString body = count == 0 ? QString("<p>还没有打印任务。</p>")
                                    : "<table><tr><th>标题</th><th>页数</th><th>大小</th><th>时间</th></tr>" +
                                          rows + "</table>";
    HttpUtil::send(res, pageOf(body).toUtf8(), "text/html; charset=utf-8");
    return QString("accepted: %1 jobs").arg(count);
}
