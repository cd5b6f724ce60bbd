#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <httplib.h>

#include <mutex>

class LocalService;

// The client's update source: the feed "/static/download/linux/appcast.xml"
// offering one package, signed with the development Ed25519 key that lives
// beside the service (keys/dev-update-key.pem). The package is the file of
// the service's --update-package option, or else a generated demo payload.
// "/__control/update" switches faults (feed down or malformed, a wrong
// signature, a truncated download), the offered version and a pause between
// download chunks; "/__control/reset" does not touch them.
class UpdateFeed
{
public:
    explicit UpdateFeed(LocalService& service);

private:
    struct State
    {
        QString version;
        QString feed = "ok";      // ok, down, malformed
        QString signature = "ok"; // ok, wrong, missing
        QString download = "ok";  // ok, truncated
        int chunkDelayMs = 0;
        QJsonObject toJson() const;
    };

    QString feed(const httplib::Request& req, httplib::Response& res);
    QString package(const httplib::Request& req, httplib::Response& res);
    void control(const httplib::Request& req, httplib::Response& res);
    bool load(QString& error);
    QString fileName(const QString& version) const;

    LocalService& m_service;
    mutable std::mutex m_mutex;
    State m_state;
    QString m_defaultVersion;
    QByteArray m_package;
    QByteArray m_signature;      // of m_package
    QByteArray m_wrongSignature; // of other bytes, with the same key
};
