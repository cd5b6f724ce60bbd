#include "core/logtext.h"
#include "platform/jsontext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

namespace LogText {

namespace {
bool isSecretName(const QString& name)
{
    return name.contains(QLatin1String("ticket"), Qt::CaseInsensitive) ||
           name.contains(QLatin1String("token"), Qt::CaseInsensitive);
}

QJsonValue maskedValue(const QJsonValue& value)
{
    if (value.isString()) {
        return masked(value.toString());
    }
    if (value.isArray()) {
        QJsonArray out;
        for (const QJsonValue& item : value.toArray()) {
            out.append(maskedValue(item));
        }
        return out;
    }
    if (value.isObject()) {
        QJsonObject out;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            out.insert(it.key(), maskedValue(it.value()));
        }
        return out;
    }
    return value;
}
} // namespace

QString masked(const QString& secret)
{
    const int shown = secret.size() > 8 ? 4 : 0;
    return secret.left(shown) + QString::fromUtf8("…(%1)").arg(secret.size());
}

QString maskedUrl(const QUrl& url)
{
    QUrlQuery query(url);
    QList<QPair<QString, QString>> items = query.queryItems(QUrl::FullyDecoded);
    for (auto& item : items) {
        if (isSecretName(item.first)) {
            item.second = masked(item.second);
        }
    }
    query.setQueryItems(items);
    QUrl out(url);
    out.setQuery(query);
    return out.toString();
}

QString maskedJson(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = CJsonText::parse(json, &error);
    if (error.error != QJsonParseError::NoError) {
        return masked(QString::fromUtf8(json));
    }
    const QJsonValue root =
        document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    const QJsonValue out = maskedValue(root);
    return QString::fromUtf8(out.isObject() ? QJsonDocument(out.toObject()).toJson(QJsonDocument::Compact)
                                            : QJsonDocument(out.toArray()).toJson(QJsonDocument::Compact));
}

QString maskedInText(const QString& text)
{
    // name=value in addresses and forms, "name":"value" in JSON.
    static const QRegularExpression pattern(
        R"(([A-Za-z_]*(?:ticket|token)[A-Za-z_]*)(=|"\s*:\s*")([^&\s"]+))",
        QRegularExpression::CaseInsensitiveOption);
    QString out;
    int last = 0;
    QRegularExpressionMatchIterator it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        out += text.midRef(last, match.capturedStart(3) - last);
        out += masked(match.captured(3));
        last = match.capturedEnd(3);
    }
    out += text.midRef(last);
    return out;
}

QString excerpt(const QString& text, int maxChars)
{
    QString out;
    const QStringRef kept = text.leftRef(maxChars);
    out.reserve(kept.size());
    for (const QChar c : kept) {
        const ushort u = c.unicode();
        if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("\\r");
        } else if (c == QLatin1Char('\t')) {
            out += QLatin1String("\\t");
        } else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029) {
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    if (text.size() > maxChars) {
        out += QStringLiteral("…(+%1 chars)").arg(text.size() - maxChars);
    }
    return out;
}

} // namespace LogText
