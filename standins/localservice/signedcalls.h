#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The signed calls the client makes: which version header each one carries and
// which form fields it posts, by name and in order. The role names are the
// keys of "service.paths" in the deployment file.
class SignedCalls
{
public:
    enum class Version
    {
        A,
        B
    }; // "signatureVersionA" / "signatureVersionB"

    struct Call
    {
        QString role;
        Version version;
        QStringList fields;
    };

    static const QVector<Call>& all();
    static const Call* find(const QString& role);
};
