#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QVector>

// One offered version of an update feed.
struct CAppcastItem
{
    QString version;      // machine version, compared with the client's own
    QString shortVersion; // shown to the user; the version when the feed has none
    QString title;
    QString notes;        // release notes, plain text
    QUrl url;             // the package
    qint64 length = 0;    // its size in bytes
    QByteArray signature; // Ed25519 signature of the package, 64 bytes
};
Q_DECLARE_METATYPE(CAppcastItem)

// Reads an update feed: an RSS channel whose items each offer one version
// with an enclosure (url, length, Ed25519 signature) in the appcast
// vocabulary desktop auto-updaters share. Items that lack a version, a
// usable enclosure or a signature are not offered at all.
class CAppcast
{
public:
    static const char* const kNamespace;

    // False, with the reason in error(), when the feed is not well-formed
    // RSS; a feed without usable items parses and offers nothing.
    bool parse(const QByteArray& xml);
    QString error() const { return m_error; }
    const QVector<CAppcastItem>& items() const { return m_items; }

    // The highest version offered, if it is above currentVersion.
    bool newerThan(const QString& currentVersion, CAppcastItem& out) const;

    // Dotted numeric versions ("2.4.10" > "2.4.9"); a missing part counts as
    // 0 and a non-numeric tail orders by text. <0, 0 or >0.
    static int compareVersions(const QString& a, const QString& b);

private:
    QString m_error;
    QVector<CAppcastItem> m_items;
};
