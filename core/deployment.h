#pragma once

#include <QJsonObject>
#include <QString>

// The deployment values the client was built for, beyond the service table of
// CApiConfig: web origins, keys of the outside services, the network probe.
// They are held enciphered and deciphered on every read.
class CDeployment
{
public:
    enum Entry
    {
        RsaPublicKeyPem,          // service.rsaPublicKeyPem
        ConferenceWebOrigin,      // conference.webOrigin, scheme://host[:port]
        ConferenceDefaultAppId,   // conference.defaultAppId
        ConferenceDefaultAppKey,  // conference.defaultAppKey
        ConferenceMediaServer,    // conference.mediaServer, the media server's HTTP API
        OfficeWebOrigin,          // office.webOrigin
        WeatherIpLocateOrigin,    // weather.ipLocateOrigin
        WeatherOrigin,            // weather.weatherOrigin
        WeatherApiKey,            // weather.apiKey
        AnalyticsCollectorOrigin, // analytics.collectorOrigin
        AnalyticsAppKey,          // analytics.appKey
        DownloadOrigin,           // download.origin
        UpdatePublicKeyPem,       // download.updatePublicKeyPem, Ed25519
        Website,                  // website, a full URL
        PingHost,                 // network.pingHost
        PingProgram,              // network.pingProgram
        EntryCount
    };

    static QString value(Entry entry);

    // The stored (enciphered, Base64) text of a service-table slot, as
    // CApiConfig decodes it at construction.
    static QString storedApiSlot(int slot);

    // Test seam: replaces the built-in deployment by a deployment file's
    // content (same keys and checks as the build) and drops CApiConfig and
    // CCipher so that their next use decodes the new values. False, with the
    // reason in error, when the deployment is incomplete or malformed.
    static bool loadForTesting(const QJsonObject& deployment, QString* error = nullptr);
    static bool loadForTesting(const QString& path, QString* error = nullptr);
    static void restoreBuiltInForTesting();
};
