#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// A form body as the client posts it: name=value pairs joined by "&", values
// written as they are except for percent-escapes (the client escapes "&", "=",
// "+" and "%" inside values, and the whole account and password of the
// password call). Every escape is decoded; "+" stays "+".
class FormBody
{
public:
    struct Field
    {
        QString name;
        QString value;
        QByteArray signedPair; // name=value with the value's decoded bytes
    };

    // False with error() set when a pair has no "=", a name is empty or an
    // escape is not two hexadecimal digits. An empty body has no fields.
    bool parse(const QByteArray& body);

    const QVector<Field>& fields() const { return m_fields; }
    QString value(const QString& name) const;
    QString error() const { return m_error; }
    // The body as the client signed it: decoded values, in the posted order.
    QByteArray signedText() const;

    static bool percentDecode(const QByteArray& raw, QByteArray& out);

private:
    QVector<Field> m_fields;
    QString m_error;
};
