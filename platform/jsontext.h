#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

// JSON text from outside, read with Qt's parser, except that a text in which
// an object names the same key twice is refused as not JSON. Qt 5.15 drops
// the earlier of two equal keys without freeing it when its value is an
// object or an array, so every such text would leak: a peer could make a
// program grow with each answer it sends. Keys are compared as Qt compares
// them, after their escapes are decoded.
class CJsonText
{
public:
    // A null document (and, when asked for, an error at the repeated key or
    // Qt's own error) when the text is refused.
    static QJsonDocument parse(const QByteArray& text, QJsonParseError* error = nullptr);
    // The offset of the second of two equal keys in one object, -1 if none.
    static int repeatedKey(const QByteArray& text);
};
