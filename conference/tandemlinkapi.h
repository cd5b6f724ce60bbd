#pragma once

#include "core/singleton.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>

struct CServiceAnswer;

// Configuration of the conference process: where its executable lies, the
// local server it connects to, and the client app id it is handed with every
// command. The app id and key start as the deployment's defaults and are
// replaced by the service's values once a fetch succeeds.
class CTandemlinkAPI : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CTandemlinkAPI)
public:
    ~CTandemlinkAPI() override;

    static constexpr int kFetchTimeLimitMs = 3000;

    // The content parsing of the configuration answer, whose content is JSON
    // carried as a string: true with both values when the answer is usable.
    static bool readConfig(const CServiceAnswer& answer, QString& appId, QString& appKey);

    QString sdkPath() const { return m_sdkPath; }
    QString serverName() const { return m_serverName; }
    QString fullServerName() const { return m_fullServerName; }
    void setFullServerName(const QString& name) { m_fullServerName = name; }
    // Fetches the configuration first while none has been loaded; the
    // defaults stay in use when that fails.
    QString clientAppId();
    QString clientAppKey() const { return m_clientAppKey; }
    bool isLoaded() const { return m_loaded; }
    // A fetch waits in a nested event loop: commands that arrive meanwhile
    // are refused by their managers rather than started beside it.
    bool isFetching() const { return m_fetching; }

    // Test seams: the tests live apart from the client, and one of them needs
    // a server that cannot listen.
    void setSdkPath(const QString& path) { m_sdkPath = path; }
    void setServerName(const QString& name);

public slots:
    void onFinished(int retryCount);
    void onFinished() { onFinished(0); }

private:
    CTandemlinkAPI();
    void fetch(int retryCount);

    QString m_sdkPath;
    QString m_serverName;
    QString m_fullServerName;
    QPointer<QNetworkReply> m_reply;
    QString m_clientAppId;
    QString m_clientAppKey;
    bool m_loaded = false;
    bool m_fetching = false;
};
