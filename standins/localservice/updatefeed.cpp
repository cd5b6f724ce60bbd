#include "standins/localservice/updatefeed.h"
#include "platform/jsontext.h"

#include "standins/localservice/httputil.h"
#include "standins/localservice/localservice.h"
#include "standins/localservice/servicelog.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {
constexpr const char* kFeedPath = "/static/download/linux/appcast.xml";
constexpr size_t kChunkBytes = 16 * 1024;

QByteArray sign(const QByteArray& keyPem, const QByteArray& data)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(keyPem.constData(), keyPem.size()),
                                                  &BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr, &EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!key || !context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return QByteArray();
    }
    size_t length = 64;
    QByteArray signature(int(length), '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size())) != 1) {
        return QByteArray();
    }
    signature.resize(int(length));
    return signature;
}

// A stand-in package of 512 KiB: enough chunks for progress and a cancel.
QByteArray demoPayload(const QString& version)
{
    const QByteArray line = "vantelor demo update " + version.toLatin1() + "\n";
    QByteArray out;
    out.reserve(512 * 1024);
    while (out.size() < 512 * 1024) {
        out += line;
    }
    out.truncate(512 * 1024);
    return out;
}

QString xmlEscape(const QString& text)
{
    return text.toHtmlEscaped();
}
} // namespace

QJsonObject UpdateFeed::State::toJson() const
{
    return QJsonObject{{"version", version},
                       {"feed", feed},
                       {"signature", signature},
                       {"download", download},
                       {"chunkDelayMs", chunkDelayMs}};
}

UpdateFeed::UpdateFeed(LocalService& service) : m_service(service)
{
    QString error;
    if (!load(error)) {
        ServiceLog::write("update feed: " + error);
    }
    service.route("GET", kFeedPath, "updateFeed",
                  [this](const httplib::Request& q, httplib::Response& r, qint64) { return feed(q, r); });
    service.routeRegex(
        "GET", R"(/static/download/linux/([A-Za-z0-9._+~-]+\.deb))", "updatePackage",
        [this](const httplib::Request& q, httplib::Response& r, qint64) { return package(q, r); });
    service.routePlain("GET", "/__control/update",
                       [this](const httplib::Request& q, httplib::Response& r) { control(q, r); });
    service.routePlain("POST", "/__control/update",
                       [this](const httplib::Request& q, httplib::Response& r) { control(q, r); });
}

bool UpdateFeed::load(QString& error)
{
    const LocalService::Options& options = m_service.options();
    m_defaultVersion = options.updateVersion.isEmpty() ? QStringLiteral("2.4.8") : options.updateVersion;
    if (options.updatePackageFile.isEmpty()) {
        m_package = demoPayload(m_defaultVersion);
    } else {
        QFile file(options.updatePackageFile);
        if (!file.open(QIODevice::ReadOnly)) {
            error = "cannot read the update package " + options.updatePackageFile;
            m_package = demoPayload(m_defaultVersion);
        } else {
            m_package = file.readAll();
        }
    }
    m_state.version = m_defaultVersion;
    const QByteArray key = LocalService::resource("keys/dev-update-key.pem");
    m_signature = sign(key, m_package);
    m_wrongSignature = sign(key, m_package + "tampered");
    if (m_signature.size() != 64 || m_wrongSignature.size() != 64) {
        error = "cannot sign the update package with the development key";
        return false;
    }
    return error.isEmpty();
}

QString UpdateFeed::fileName(const QString& version) const
{
    return QStringLiteral("vantelor_%1_amd64.deb").arg(version);
}

QString UpdateFeed::feed(const httplib::Request& req, httplib::Response& res)
{
    State s;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        s = m_state;
    }
    if (s.feed == "down") {
        HttpUtil::send(res, "503 Service Unavailable", "text/plain; charset=utf-8", 503);
        return "feed down";
    }
    if (s.feed == "malformed") {
        HttpUtil::send(res, "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><item><title>",
                       "application/xml");
        return "feed malformed";
    }
    QString signatureAttribute;
    if (s.signature != "missing") {
        const QByteArray& signature = s.signature == "wrong" ? m_wrongSignature : m_signature;
        signatureAttribute =
            QString(" sparkle:edSignature=\"%1\"").arg(QString::fromLatin1(signature.toBase64()));
    }
    const QString url = HttpUtil::origin(req) + "/static/download/linux/" + fileName(s.version);
    const QString xml =
        QString(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
            "  <channel>\n"
            "    <title>Vantelor</title>\n"
            "    <item>\n"
            "      <title>Vantelor %1</title>\n"
            "      <sparkle:version>%1</sparkle:version>\n"
            "      <sparkle:shortVersionString>%1</sparkle:shortVersionString>\n"
            "      <description>%2</description>\n"
            "      <pubDate>Thu, 10 Dec 2026 08:00:00 +0000</pubDate>\n"
            "      <enclosure url=\"%3\" length=\"%4\" type=\"application/vnd.debian.binary-package\"%5/>\n"
            "    </item>\n"
            "  </channel>\n"
            "</rss>\n")
            .arg(xmlEscape(s.version),
                 xmlEscape(QString::fromUtf8("本地演示版本：投屏更稳定，修复了若干问题。")), xmlEscape(url))
            .arg(m_package.size())
            .arg(signatureAttribute);
    HttpUtil::send(res, xml.toUtf8(), "application/rss+xml; charset=utf-8");
    return "feed " + s.version;
}

QString UpdateFeed::package(const httplib::Request& req, httplib::Response& res)
{
    State s;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        s = m_state;
    }
    if (QString::fromStdString(req.matches[1]) != fileName(s.version)) {
        HttpUtil::send(res, "404 Not Found", "text/plain; charset=utf-8", 404);
        return "no such package";
    }
    // Truncated: a consistent but short answer, which only the announced
    // length can tell from the real package.
    const size_t size = s.download == "truncated" ? size_t(m_package.size() / 2) : size_t(m_package.size());
    const QByteArray bytes = m_package;
    const int delayMs = s.chunkDelayMs;
    res.set_content_provider(size, "application/vnd.debian.binary-package",
                             [bytes, delayMs](size_t offset, size_t length, httplib::DataSink& sink) {
                                 if (delayMs > 0 && offset > 0) {
                                     std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                                 }
                                 const size_t n = std::min(length, kChunkBytes);
                                 return sink.write(bytes.constData() + offset, n);
                             });
    return QString("package %1 (%2 bytes%3)")
        .arg(s.version)
        .arg(size)
        .arg(s.download == "truncated" ? ", truncated" : "");
}

void UpdateFeed::control(const httplib::Request& req, httplib::Response& res)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (req.method == "POST") {
        const QJsonObject in = CJsonText::parse(HttpUtil::body(req)).object();
        State next = m_state;
        const auto pick = [&in](const char* key, QString& field, const QStringList& allowed) {
            if (in.contains(key)) {
                const QString value = in.value(key).toString();
                if (!allowed.contains(value)) {
                    return false;
                }
                field = value;
            }
            return true;
        };
        static const QRegularExpression versionPattern("^[0-9][0-9A-Za-z.+~]*$");
        // "reset" restores the defaults first; the other switches go on top.
        if (in.value("reset").toBool()) {
            next = State();
            next.version = m_defaultVersion;
        }
        if (in.contains("version")) {
            next.version = in.value("version").toString();
        }
        if (!pick("feed", next.feed, {"ok", "down", "malformed"}) ||
            !pick("signature", next.signature, {"ok", "wrong", "missing"}) ||
            !pick("download", next.download, {"ok", "truncated"}) ||
            !versionPattern.match(next.version).hasMatch()) {
            HttpUtil::sendJson(res,
                               QJsonObject{{"ok", false},
                                           {"error", "feed: ok|down|malformed, signature: ok|wrong|missing, "
                                                     "download: ok|truncated, version: digits and dots"}},
                               400);
            return;
        }
        if (in.contains("chunkDelayMs")) {
            next.chunkDelayMs = qBound(0, in.value("chunkDelayMs").toInt(), 10000);
        }
        m_state = next;
        ServiceLog::write("control: update " +
                          QString::fromUtf8(QJsonDocument(m_state.toJson()).toJson(QJsonDocument::Compact)));
    }
    QJsonObject out = m_state.toJson();
    out.insert("ok", true);
    out.insert("packageBytes", m_package.size());
    HttpUtil::sendJson(res, out);
}
