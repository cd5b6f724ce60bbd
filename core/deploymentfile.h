#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>

// Reads and checks a deployment file: every endpoint, key and signing value the
// client is built for. The build tool turns it into the enciphered table of
// the executable; tests load one at run time. Every value is checked, and the
// first key that is missing or malformed is named in error().
class CDeploymentFile
{
public:
    static constexpr int kApiSlotCount = 32;

    // Keys outside the service table, in the order of CDeployment::Entry.
    static const QStringList& entryKeys();

    bool load(const QString& path);
    bool parse(const QJsonObject& root);

    QString error() const { return m_error; }
    // Keys the client does not know (most likely typing mistakes).
    QStringList unknownKeys() const { return m_unknownKeys; }

    // The 32 slots of the service table in plain text, paths without the base
    // URL; unused slots are empty and slot 6 holds "25".
    const std::array<QString, kApiSlotCount>& apiSlots() const { return m_apiSlots; }
    // Plain values in the order of entryKeys().
    const QStringList& entries() const { return m_entries; }

private:
    bool fail(const QString& message);

    QString m_error;
    QStringList m_unknownKeys;
    std::array<QString, kApiSlotCount> m_apiSlots;
    QStringList m_entries;
};
