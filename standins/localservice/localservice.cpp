#include "standins/localservice/localservice.h"

#include "standins/localservice/conferencepages.h"
#include "standins/localservice/controlapi.h"
#include "standins/localservice/httputil.h"
#include "standins/localservice/meetingrooms.h"
#include "standins/localservice/officepages.h"
#include "standins/localservice/printservice.h"
#include "standins/localservice/publicapi.h"
#include "standins/localservice/servicelog.h"
#include "standins/localservice/signatureverifier.h"
#include "standins/localservice/signedapi.h"
#include "standins/localservice/updatefeed.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <chrono>
#include <sys/socket.h>
#include <thread>

namespace {
const size_t kMaxBodyBytes = 1024 * 1024;
const char* kFaultHeader = "X-Localservice-Fault";

QString statusText(int status, const httplib::Request& req)
{
    switch (status) {
    case 400:
        return "请求格式错误 (bad request)";
    case 404:
        return QString("no such endpoint: %1 %2")
            .arg(QString::fromStdString(req.method), QString::fromStdString(req.path));
    case 413:
        return QString("请求体过大 (payload too large; the limit is %1 bytes)").arg(kMaxBodyBytes);
    case 414:
        return "请求地址过长 (URI too long)";
    default:
        return QString("HTTP %1").arg(status);
    }
}

// Every leaf swapped for a value of another type, the structure kept: strings
// become arrays, numbers and booleans become strings, null becomes an object.
QJsonValue wrongTypes(const QJsonValue& v)
{
    if (v.isObject()) {
        QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            it.value() = wrongTypes(it.value());
        }
        return o;
    }
    if (v.isArray()) {
        QJsonArray a;
        for (const QJsonValue& item : v.toArray()) {
            a.append(wrongTypes(item));
        }
        return a;
    }
    if (v.isString()) {
        return QJsonArray();
    }
    if (v.isDouble()) {
        return QString::number(v.toDouble(), 'g', 17);
    }
    if (v.isBool()) {
        return QString(v.toBool() ? "true" : "false");
    }
    return QJsonObject();
}
} // namespace

LocalService::LocalService() = default;
LocalService::~LocalService() = default;

QByteArray LocalService::resource(const QString& name)
{
    QFile file(":/localservice/" + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 LocalService::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch() + m_clockSkewMs.load();
}

bool LocalService::prepare(const Options& options, QString& error)
{
    m_options = options;
    if (!m_deployment.load(options.deploymentFile, error)) {
        return false;
    }
    if (!options.dataDirectory.isEmpty()) {
        if (!QDir().mkpath(options.dataDirectory)) {
            error = "cannot create the data directory " + options.dataDirectory;
            return false;
        }
        m_options.dataDirectory = QDir(options.dataDirectory).absolutePath();
        ServiceLog::setDataDirectory(m_options.dataDirectory);
    }

    QByteArray seedBytes;
    if (options.seedFile.isEmpty()) {
        seedBytes = resource("seed/seed.json");
        m_seedDirectory = ":/localservice/seed";
    } else {
        QFile seed(options.seedFile);
        if (!seed.open(QIODevice::ReadOnly)) {
            error = "cannot read the seed file " + options.seedFile;
            return false;
        }
        seedBytes = seed.readAll();
        m_seedDirectory = QFileInfo(options.seedFile).absolutePath();
    }
    QJsonParseError parseError;
    m_seed = QJsonDocument::fromJson(seedBytes, &parseError).object();
    if (m_seed.value("accounts").toArray().isEmpty()) {
        error = "the seed has no \"accounts\": " + parseError.errorString();
        return false;
    }

    QByteArray keyPem;
    if (options.privateKeyFile.isEmpty()) {
        keyPem = resource("keys/dev-private-key.pem");
    } else {
        QFile key(options.privateKeyFile);
        if (!key.open(QIODevice::ReadOnly)) {
            error = "cannot read the private key " + options.privateKeyFile;
            return false;
        }
        keyPem = key.readAll();
    }
    if (!m_credentials.load(keyPem, m_deployment.rsaPublicKeyPem, error)) {
        return false;
    }
    m_verifier.reset(new SignatureVerifier(m_deployment, options.toleranceSeconds));
    m_accounts.load(m_seed, m_options.dataDirectory.isEmpty() ? QString()
                                                              : m_options.dataDirectory + "/accounts.json");

    // Delayed answers and the clients' keep-alive connections each hold a
    // worker, so the pool is generous.
    m_server.new_task_queue = [] { return new httplib::ThreadPool(64); };
    // Only SO_REUSEADDR: the library's default adds SO_REUSEPORT, which would
    // let a second service share the port and split the requests between them.
    m_server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    m_server.set_payload_max_length(kMaxBodyBytes);
    m_server.set_read_timeout(10, 0);
    m_server.set_keep_alive_timeout(5);
    m_server.set_keep_alive_max_count(100);
    // Headers and body leave in separate writes: without this, every answer on
    // a kept-alive connection waits for the client's delayed acknowledgement.
    m_server.set_tcp_nodelay(true);
    m_server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request& req, httplib::Response& res) {
            if (res.has_header(kFaultHeader) || !res.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            const Answer a = Answer::fail(QString::number(res.status), statusText(res.status, req));
            res.set_content(a.toJson().toStdString(), "application/json; charset=utf-8");
            return httplib::Server::HandlerResponse::Handled;
        }));
    m_server.set_exception_handler(
        [](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
            QString what = "unknown exception";
            try {
                std::rethrow_exception(ep);
            } catch (const std::exception& e) {
                what = QString::fromLocal8Bit(e.what());
            } catch (...) {
            }
            ServiceLog::write(
                QString("error: %1 %2 failed: %3")
                    .arg(QString::fromStdString(req.method), QString::fromStdString(req.path), what));
            res.status = 500;
            res.set_content(Answer::fail("500", "服务器内部错误: " + what).toJson().toStdString(),
                            "application/json; charset=utf-8");
        });
    m_server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        if (req.path.rfind("/__control/", 0) != 0) {
            ServiceLog::write(QString("%1 %2 -> %3")
                                  .arg(QString::fromStdString(req.method), QString::fromStdString(req.path))
                                  .arg(res.status));
        }
    });

    m_signedApi.reset(new SignedApi(*this));
    m_publicApi.reset(new PublicApi(*this));
    m_officePages.reset(new OfficePages(*this));
    m_conferencePages.reset(new ConferencePages(*this));
    m_printService.reset(new PrintService(*this));
    m_controlApi.reset(new ControlApi(*this));
    m_updateFeed.reset(new UpdateFeed(*this));
    m_meetingRooms.reset(new MeetingRooms(*this));

    if (options.port == 0) {
        m_port = m_server.bind_to_any_port("127.0.0.1");
    } else if (m_server.bind_to_port("127.0.0.1", options.port)) {
        m_port = options.port;
    } else {
        m_port = -1;
    }
    if (m_port <= 0) {
        error =
            QString("cannot listen on 127.0.0.1:%1 (is another service using the port?)").arg(options.port);
        return false;
    }
    return true;
}

bool LocalService::run()
{
    return m_server.listen_after_bind();
}

void LocalService::stop()
{
    m_server.stop();
}

void LocalService::reset()
{
    m_faults.clear(QString());
    m_journal.clear();
    m_accounts.reset();
    m_publicApi->clearEvents();
    m_officePages->reset();
    m_printService->reset();
    m_meetingRooms->reset();
    m_clockSkewMs = 0;
}

void LocalService::route(const char* method, const QString& path, const QString& endpoint,
                         const Handler& handler)
{
    routeRegex(method, HttpUtil::routePattern(path), endpoint, handler);
}

void LocalService::routeRegex(const char* method, const std::string& pattern, const QString& endpoint,
                              const Handler& handler)
{
    if (!m_endpoints.contains(endpoint)) {
        m_endpoints << endpoint;
    }
    routePlain(method, pattern,
               [this, endpoint, handler](const httplib::Request& req, httplib::Response& res) {
                   serve(endpoint, req, res, handler);
               });
}

void LocalService::routePlain(const char* method, const std::string& pattern,
                              const httplib::Server::Handler& handler)
{
    const std::string m(method);
    if (m == "GET") {
        m_server.Get(pattern, handler);
    } else if (m == "POST") {
        m_server.Post(pattern, handler);
    } else if (m == "DELETE") {
        m_server.Delete(pattern, handler);
    }
}

void LocalService::serve(const QString& endpoint, const httplib::Request& req, httplib::Response& res,
                         const Handler& handler)
{
    const qint64 seq =
        m_journal.begin(endpoint, QString::fromStdString(req.method), QString::fromStdString(req.target),
                        HttpUtil::headers(req), HttpUtil::body(req));
    FaultTable::Fault fault;
    const bool faulted = m_faults.take(endpoint, fault);
    if (faulted && fault.delayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));
    }
    QString outcome;
    if (faulted && fault.mode != "delay" && fault.mode != "array" && fault.mode != "wrongTypes" &&
        fault.mode != "truncated") {
        outcome = answerFault(fault, res);
    } else {
        outcome = handler(req, res, seq);
        if (faulted) {
            applyShapeFault(fault.mode, res);
            outcome += " (fault: " + fault.mode + ")";
        }
    }
    if (faulted) {
        res.set_header(kFaultHeader, fault.mode.toStdString());
        ServiceLog::write(QString("fault %1 on %2").arg(fault.mode, endpoint));
    }
    m_journal.finish(seq, res.status, outcome);
}

QString LocalService::answerFault(const FaultTable::Fault& fault, httplib::Response& res)
{
    const QString& mode = fault.mode;
    if (mode == "empty") {
        HttpUtil::send(res, QByteArray(), "application/json; charset=utf-8");
    } else if (mode == "nonJson") {
        HttpUtil::send(res, "<html><body>502 Bad Gateway</body></html>", "text/html; charset=utf-8");
    } else if (mode == "http500") {
        HttpUtil::send(res, "<html><body>500 Internal Server Error</body></html>", "text/html; charset=utf-8",
                       500);
    } else if (mode == "down") {
        HttpUtil::send(res, "503 Service Unavailable", "text/plain; charset=utf-8", 503);
    } else if (mode == "raw") {
        HttpUtil::send(res, fault.body, fault.contentType.toUtf8().constData(), fault.status);
    } else {
        Answer a = Answer::fail(fault.errorCode, fault.errorMsg);
        if (mode == "timeOffset") {
            a.hasTimeOffset = true;
            a.timeOffset = fault.timeOffset;
        }
        HttpUtil::sendJson(res, a.toJson());
    }
    return "fault: " + mode;
}

void LocalService::applyShapeFault(const QString& mode, httplib::Response& res)
{
    const QByteArray body = QByteArray::fromStdString(res.body);
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (mode == "array") {
        HttpUtil::sendJson(res, doc.isNull() ? QByteArray("[]") : "[" + body + "]", res.status);
    } else if (mode == "truncated") {
        // The whole length announced, half of the answer sent, then the
        // connection closed: a transfer cut off in the middle.
        const std::string whole = res.body;
        const std::string type = res.get_header_value("Content-Type");
        res.body.clear();
        res.set_content_provider(whole.size(), type.empty() ? "application/json; charset=utf-8" : type,
                                 [whole](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset == 0 && whole.size() > 1) {
                                         sink.write(whole.data(), whole.size() / 2);
                                     }
                                     return false;
                                 });
    } else if (mode == "wrongTypes" && !doc.isNull()) {
        const QJsonValue swapped =
            wrongTypes(doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array()));
        const QJsonDocument out =
            swapped.isObject() ? QJsonDocument(swapped.toObject()) : QJsonDocument(swapped.toArray());
        HttpUtil::sendJson(res, out.toJson(QJsonDocument::Compact), res.status);
    }
}
