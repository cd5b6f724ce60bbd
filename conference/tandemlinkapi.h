#pragma once

#include "core/singleton.h"

#include <QObject>
#include <QString>

// Configuration of the conference process: where its executable lies, the
// local server it connects to, and the client app id it is handed with every
// command.
class CTandemlinkAPI : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CTandemlinkAPI)
public:
    ~CTandemlinkAPI() override;

    QString sdkPath() const { return m_sdkPath; }
    QString serverName() const { return m_serverName; }
    QString fullServerName() const { return m_fullServerName; }
    void setFullServerName(const QString& name) { m_fullServerName = name; }
    QString clientAppId();

    // Test seams: the tests live apart from the client, and one of them needs
    // a server that cannot listen.
    void setSdkPath(const QString& path) { m_sdkPath = path; }
    void setServerName(const QString& name);

private:
    CTandemlinkAPI();

    QString m_sdkPath;
    QString m_serverName;
    QString m_fullServerName;
    QString m_clientAppId;
    QString m_clientAppKey;
};
