#include "core/deploymentfile.h"
#include "platform/jsontext.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace {
enum class Kind
{
    Text,
    Origin,
    Url,
    Path,
    Host,
    Pem,
    Ed25519Pem,
    Hex24,
    Hex32
};

struct Key
{
    const char* path; // dotted JSON path
    Kind kind;
    int slot; // service-table slot, or -1 for the other entries
};

// Slot numbers are those of the client's service table; the paths have the
// base URL prepended when the table is decoded.
const Key kKeys[] = {
    {"service.hmacSecret", Kind::Text, 0},
    {"service.apiKey", Kind::Text, 1},
    {"service.appCode", Kind::Text, 2},
    {"service.keyVersion", Kind::Text, 3},
    {"service.signatureVersionA", Kind::Text, 4},
    {"service.signatureVersionB", Kind::Text, 5},
    {"service.baseUrl", Kind::Origin, 7},
    {"service.paths.authCodeByPassword", Kind::Path, 8},
    {"service.paths.accessTicket", Kind::Path, 9},
    {"service.paths.tokenFromAuthCode", Kind::Path, 10},
    {"service.paths.validateToken", Kind::Path, 11},
    {"service.paths.companyList", Kind::Path, 13},
    {"service.paths.personDetail", Kind::Path, 15},
    {"service.paths.logout", Kind::Path, 16},
    {"service.paths.sendSmsCode", Kind::Path, 17},
    {"service.paths.authCodeBySmsCode", Kind::Path, 18},
    {"service.paths.preCreateAccount", Kind::Path, 19},
    {"service.paths.joinInvitingCompany", Kind::Path, 20},
    {"service.paths.resetPassword", Kind::Path, 21},
    {"service.paths.changePassword", Kind::Path, 22},
    {"service.paths.modifyProfile", Kind::Path, 25},
    {"service.paths.conferenceConfig", Kind::Path, 31},
    {"service.printInfoUrl", Kind::Url, 26},
    {"service.printAppId", Kind::Text, 27},
    {"service.contentType", Kind::Text, 28},
    // From here on in the order of CDeployment::Entry.
    {"service.rsaPublicKeyPem", Kind::Pem, -1},
    {"conference.webOrigin", Kind::Origin, -1},
    {"conference.defaultAppId", Kind::Text, -1},
    {"conference.defaultAppKey", Kind::Text, -1},
    {"conference.mediaServer", Kind::Url, -1},
    {"office.webOrigin", Kind::Origin, -1},
    {"weather.ipLocateOrigin", Kind::Origin, -1},
    {"weather.weatherOrigin", Kind::Origin, -1},
    {"weather.apiKey", Kind::Hex32, -1},
    {"analytics.collectorOrigin", Kind::Origin, -1},
    {"analytics.appKey", Kind::Hex24, -1},
    {"download.origin", Kind::Origin, -1},
    {"download.updatePublicKeyPem", Kind::Ed25519Pem, -1},
    {"website", Kind::Url, -1},
    {"network.pingHost", Kind::Host, -1},
    {"network.pingProgram", Kind::Text, -1},
};

const char* expectation(Kind kind)
{
    switch (kind) {
    case Kind::Text:
        return "expected non-empty printable ASCII text without surrounding blanks";
    case Kind::Origin:
        return "expected an origin http(s)://host[:port] without path";
    case Kind::Url:
        return "expected an absolute http(s) URL";
    case Kind::Path:
        return "expected a URL path beginning with \"/\"";
    case Kind::Host:
        return "expected a host name or IP address";
    case Kind::Pem:
        return "expected a PEM \"PUBLIC KEY\" block holding an RSA key";
    case Kind::Ed25519Pem:
        return "expected a PEM \"PUBLIC KEY\" block holding an Ed25519 key";
    case Kind::Hex24:
        return "expected 24 lowercase hexadecimal characters";
    case Kind::Hex32:
        return "expected 32 lowercase hexadecimal characters";
    }
    return "";
}

bool isPrintableAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e) {
            return false;
        }
    }
    return true;
}

bool isPublicKeyPem(const QString& text, int type)
{
    const QByteArray pem = text.toLatin1();
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), pem.size()), &BIO_free);
    if (!bio) {
        return false;
    }
    EVP_PKEY* key = PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr);
    const bool matches = key && EVP_PKEY_base_id(key) == type;
    EVP_PKEY_free(key);
    return matches;
}

bool isValid(Kind kind, const QString& value)
{
    if (value.isEmpty()) {
        return false;
    }
    if (kind == Kind::Pem || kind == Kind::Ed25519Pem) {
        return value.contains("-----BEGIN PUBLIC KEY-----") &&
               isPublicKeyPem(value, kind == Kind::Pem ? EVP_PKEY_RSA : EVP_PKEY_ED25519);
    }
    if (!isPrintableAscii(value) || value.trimmed() != value) {
        return false;
    }
    switch (kind) {
    case Kind::Text:
        return true;
    case Kind::Hex24:
    case Kind::Hex32: {
        static const QRegularExpression hex("^[0-9a-f]+$");
        return value.size() == (kind == Kind::Hex24 ? 24 : 32) && hex.match(value).hasMatch();
    }
    case Kind::Origin: {
        static const QRegularExpression origin(
            R"(^https?://([A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?|\[[0-9A-Fa-f:.]+\])(:(\d{1,5}))?$)");
        const QRegularExpressionMatch match = origin.match(value);
        if (!match.hasMatch()) {
            return false;
        }
        const QString port = match.captured(4);
        return port.isEmpty() || (port.toInt() >= 1 && port.toInt() <= 65535);
    }
    case Kind::Url: {
        const QUrl url(value, QUrl::StrictMode);
        return url.isValid() && (url.scheme() == "http" || url.scheme() == "https") &&
               !url.host().isEmpty() && !value.contains(' ');
    }
    case Kind::Path: {
        static const QRegularExpression path(R"(^/[A-Za-z0-9._~!$&'()*+,;=:@%/-]*$)");
        return path.match(value).hasMatch();
    }
    case Kind::Host: {
        static const QRegularExpression host(R"(^[A-Za-z0-9.:-]+$)");
        return host.match(value).hasMatch();
    }
    case Kind::Pem:
    case Kind::Ed25519Pem:
        break;
    }
    return false;
}

void collectLeaves(const QJsonObject& object, const QString& prefix, QStringList& out)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString path = prefix.isEmpty() ? it.key() : prefix + "." + it.key();
        if (it.value().isObject()) {
            collectLeaves(it.value().toObject(), path, out);
        } else {
            out << path;
        }
    }
}
} // namespace

const QStringList& CDeploymentFile::entryKeys()
{
    static const QStringList keys = [] {
        QStringList out;
        for (const Key& key : kKeys) {
            if (key.slot < 0) {
                out << key.path;
            }
        }
        return out;
    }();
    return keys;
}

bool CDeploymentFile::fail(const QString& message)
{
    m_error = message;
    return false;
}

bool CDeploymentFile::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(QString("cannot read the deployment file %1: %2").arg(path, file.errorString()));
    }
    QJsonParseError parseError;
    const QJsonDocument document = CJsonText::parse(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        return fail(QString("the deployment file %1 is not a JSON object: %2 at offset %3")
                        .arg(path, parseError.errorString())
                        .arg(parseError.offset));
    }
    return parse(document.object());
}

bool CDeploymentFile::parse(const QJsonObject& root)
{
    m_error.clear();
    m_unknownKeys.clear();
    m_apiSlots.fill(QString());
    m_apiSlots[6] = QStringLiteral("25");
    m_entries.clear();

    QSet<QString> known;
    for (const Key& key : kKeys) {
        known.insert(key.path);
        const QStringList parts = QString(key.path).split('.');
        QJsonValue value(root);
        QString reached;
        for (const QString& part : parts) {
            if (!value.isObject()) {
                return fail(QString("deployment key \"%1\" is malformed: expected an object").arg(reached));
            }
            reached = reached.isEmpty() ? part : reached + "." + part;
            value = value.toObject().value(part);
            if (value.isUndefined()) {
                return fail(QString("deployment key \"%1\" is missing").arg(reached));
            }
        }
        if (!value.isString() || !isValid(key.kind, value.toString())) {
            return fail(
                QString("deployment key \"%1\" is malformed: %2").arg(key.path, expectation(key.kind)));
        }
        if (key.slot >= 0) {
            m_apiSlots[key.slot] = value.toString();
        } else {
            m_entries << value.toString();
        }
    }

    QStringList leaves;
    collectLeaves(root, QString(), leaves);
    for (const QString& leaf : leaves) {
        if (!known.contains(leaf)) {
            m_unknownKeys << leaf;
        }
    }
    return true;
}
