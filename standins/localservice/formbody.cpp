#include "standins/localservice/formbody.h"

#include <QList>

namespace {
int hexValue(char c)
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
} // namespace

bool FormBody::percentDecode(const QByteArray& raw, QByteArray& out)
{
    out.clear();
    out.reserve(raw.size());
    for (int i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c != '%') {
            out.append(c);
            continue;
        }
        if (i + 2 >= raw.size()) {
            return false;
        }
        const int high = hexValue(raw.at(i + 1));
        const int low = hexValue(raw.at(i + 2));
        if (high < 0 || low < 0) {
            return false;
        }
        out.append(char(high * 16 + low));
        i += 2;
    }
    return true;
}

bool FormBody::parse(const QByteArray& body)
{
    m_fields.clear();
    m_error.clear();
    if (body.isEmpty()) {
        return true;
    }
    const QList<QByteArray> pairs = body.split('&');
    for (int i = 0; i < pairs.size(); ++i) {
        const QByteArray& pair = pairs.at(i);
        const int eq = pair.indexOf('=');
        if (eq < 0) {
            m_error = QString("malformed form: pair %1 has no \"=\"").arg(i + 1);
            return false;
        }
        const QByteArray name = pair.left(eq);
        if (name.isEmpty()) {
            m_error = QString("malformed form: pair %1 has an empty name").arg(i + 1);
            return false;
        }
        QByteArray value;
        if (!percentDecode(pair.mid(eq + 1), value)) {
            m_error =
                QString("malformed form: bad percent-escape in field \"%1\"").arg(QString::fromUtf8(name));
            return false;
        }
        // With their sizes: QString::fromUtf8(QByteArray) stops at a NUL byte,
        // which would leave a name empty or a value shorter than it was signed.
        m_fields.append({QString::fromUtf8(name.constData(), name.size()),
                         QString::fromUtf8(value.constData(), value.size()), name + '=' + value});
    }
    return true;
}

QString FormBody::value(const QString& name) const
{
    for (const Field& field : m_fields) {
        if (field.name == name) {
            return field.value;
        }
    }
    return QString();
}

QByteArray FormBody::signedText() const
{
    QByteArray text;
    for (const Field& field : m_fields) {
        if (!text.isEmpty()) {
            text += '&';
        }
        text += field.signedPair;
    }
    return text;
}
