#include "conference/tandemlinkapi.h"

#include <QCoreApplication>

CTandemlinkAPI::CTandemlinkAPI()
    : m_sdkPath(QCoreApplication::applicationDirPath() + "/TandemlinkSdk/TandemlinkSdk"),
      m_serverName("tandemlink_sdk_ipc_server"), m_fullServerName(m_serverName)
{
}

CTandemlinkAPI::~CTandemlinkAPI() = default;

QString CTandemlinkAPI::clientAppId()
{
    return m_clientAppId;
}

void CTandemlinkAPI::setServerName(const QString& name)
{
    if (name == m_serverName) {
        return;
    }
    m_serverName = name;
    m_fullServerName = name;
}
