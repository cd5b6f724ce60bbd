#include "platform/jsontext.h"

#include <QSet>
#include <QString>
#include <QVector>

namespace {
int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The string whose opening quote is at text[at], decoded into key when key
// is given; the offset of its closing quote, or -1 when it does not end
// well (Qt refuses such a text by itself).
int readString(const QByteArray& text, int at, QString* key)
{
    QByteArray raw; // UTF-8 between escapes
    for (int i = at + 1; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '"') {
            if (key) {
                *key += QString::fromUtf8(raw);
            }
            return i;
        }
        if (c != '\\') {
            if (key) {
                raw += c;
            }
            continue;
        }
        if (++i >= text.size()) {
            return -1;
        }
        if (!key) {
            continue;
        }
        *key += QString::fromUtf8(raw);
        raw.clear();
        switch (text.at(i)) {
        case 'b':
            *key += QChar('\b');
            break;
        case 'f':
            *key += QChar('\f');
            break;
        case 'n':
            *key += QChar('\n');
            break;
        case 'r':
            *key += QChar('\r');
            break;
        case 't':
            *key += QChar('\t');
            break;
        case 'u': {
            if (i + 4 >= text.size()) {
                return -1;
            }
            int unit = 0;
            for (int k = 1; k <= 4; ++k) {
                const int digit = hexDigit(text.at(i + k));
                if (digit < 0) {
                    return -1;
                }
                unit = unit * 16 + digit;
            }
            *key += QChar(ushort(unit));
            i += 4;
            break;
        }
        default: // '"', '\\', '/' and whatever Qt refuses
            *key += QLatin1Char(text.at(i));
            break;
        }
    }
    return -1;
}
} // namespace

int CJsonText::repeatedKey(const QByteArray& text)
{
    struct Level
    {
        bool object = false;
        bool expectKey = false;
        QSet<QString> keys;
    };
    QVector<Level> levels;
    for (int i = 0; i < text.size(); ++i) {
        switch (text.at(i)) {
        case '"': {
            const bool isKey = !levels.isEmpty() && levels.last().object && levels.last().expectKey;
            QString key;
            const int end = readString(text, i, isKey ? &key : nullptr);
            if (end < 0) {
                return -1;
            }
            if (isKey) {
                Level& level = levels.last();
                if (level.keys.contains(key)) {
                    return i;
                }
                level.keys.insert(key);
                level.expectKey = false;
            }
            i = end;
            break;
        }
        case '{':
            levels.append(Level{true, true, {}});
            break;
        case '[':
            levels.append(Level{false, false, {}});
            break;
        case '}':
        case ']':
            if (!levels.isEmpty()) {
                levels.removeLast();
            }
            break;
        case ',':
            if (!levels.isEmpty() && levels.last().object) {
                levels.last().expectKey = true;
            }
            break;
        default:
            break;
        }
    }
    return -1;
}

QJsonDocument CJsonText::parse(const QByteArray& text, QJsonParseError* error)
{
    const int repeated = repeatedKey(text);
    if (repeated >= 0) {
        if (error) {
            error->error = QJsonParseError::IllegalValue;
            error->offset = repeated;
        }
        return QJsonDocument();
    }
    return QJsonDocument::fromJson(text, error);
}
