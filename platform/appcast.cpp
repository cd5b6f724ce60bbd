#include "platform/appcast.h"

#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

const char* const CAppcast::kNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

namespace {
constexpr int kSignatureBytes = 64;

QString appcastAttribute(const QXmlStreamAttributes& attributes, const char* name)
{
    return attributes.value(QLatin1String(CAppcast::kNamespace), QLatin1String(name)).toString().trimmed();
}

bool isUsable(const CAppcastItem& item)
{
    return !item.version.isEmpty() && item.url.isValid() &&
           (item.url.scheme() == "http" || item.url.scheme() == "https") && item.length > 0 &&
           item.signature.size() == kSignatureBytes;
}

// The part of a version component before any non-digit, and what follows.
void splitComponent(const QString& part, qint64& number, QString& rest)
{
    int digits = 0;
    while (digits < part.size() && part.at(digits).isDigit() && digits < 15) {
        ++digits;
    }
    number = digits ? part.left(digits).toLongLong() : -1;
    rest = part.mid(digits);
}
} // namespace

bool CAppcast::parse(const QByteArray& xml)
{
    m_error.clear();
    m_items.clear();
    QXmlStreamReader reader(xml);
    bool sawChannel = false;
    CAppcastItem item;
    bool inItem = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QStringRef name = reader.name();
            const bool appcast = reader.namespaceUri() == QLatin1String(kNamespace);
            if (name == QLatin1String("channel")) {
                sawChannel = true;
            } else if (name == QLatin1String("item")) {
                item = CAppcastItem();
                inItem = true;
            } else if (!inItem) {
                continue;
            } else if (appcast && name == QLatin1String("version")) {
                item.version = reader.readElementText().trimmed();
            } else if (appcast && name == QLatin1String("shortVersionString")) {
                item.shortVersion = reader.readElementText().trimmed();
            } else if (!appcast && name == QLatin1String("title")) {
                item.title = reader.readElementText().trimmed();
            } else if (!appcast && name == QLatin1String("description")) {
                item.notes = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            } else if (!appcast && name == QLatin1String("enclosure")) {
                const QXmlStreamAttributes attributes = reader.attributes();
                item.url =
                    QUrl(attributes.value(QLatin1String("url")).toString().trimmed(), QUrl::StrictMode);
                bool ok = false;
                item.length = attributes.value(QLatin1String("length")).toString().toLongLong(&ok);
                if (!ok) {
                    item.length = 0;
                }
                // The enclosure may carry the version itself.
                if (item.version.isEmpty()) {
                    item.version = appcastAttribute(attributes, "version");
                }
                if (item.shortVersion.isEmpty()) {
                    item.shortVersion = appcastAttribute(attributes, "shortVersionString");
                }
                item.signature =
                    QByteArray::fromBase64(appcastAttribute(attributes, "edSignature").toLatin1(),
                                           QByteArray::AbortOnBase64DecodingErrors);
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("item")) {
            inItem = false;
            if (item.shortVersion.isEmpty()) {
                item.shortVersion = item.version;
            }
            if (isUsable(item)) {
                m_items << item;
            }
        }
    }
    if (reader.hasError()) {
        m_error = QString("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
        m_items.clear();
        return false;
    }
    if (!sawChannel) {
        m_error = QStringLiteral("no RSS channel");
        m_items.clear();
        return false;
    }
    return true;
}

bool CAppcast::newerThan(const QString& currentVersion, CAppcastItem& out) const
{
    const CAppcastItem* best = nullptr;
    for (const CAppcastItem& item : m_items) {
        if (!best || compareVersions(item.version, best->version) > 0) {
            best = &item;
        }
    }
    if (!best || compareVersions(best->version, currentVersion) <= 0) {
        return false;
    }
    out = *best;
    return true;
}

int CAppcast::compareVersions(const QString& a, const QString& b)
{
    const QStringList left = a.trimmed().split('.');
    const QStringList right = b.trimmed().split('.');
    for (int i = 0; i < std::max(left.size(), right.size()); ++i) {
        qint64 ln = 0, rn = 0;
        QString lr, rr;
        if (i < left.size()) {
            splitComponent(left.at(i), ln, lr);
        }
        if (i < right.size()) {
            splitComponent(right.at(i), rn, rr);
        }
        if (ln != rn) {
            return ln < rn ? -1 : 1;
        }
        if (lr != rr) {
            return lr.compare(rr);
        }
    }
    return 0;
}
