#include "conference/tandemlinkapi.h"
#include "platform/jsontext.h"

#include "account/signedrequest.h"
#include "conference/conferencelog.h"
#include "core/apiconfig.h"
#include "core/deployment.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

CTandemlinkAPI::CTandemlinkAPI()
    : m_sdkPath(QCoreApplication::applicationDirPath() + "/TandemlinkSdk/TandemlinkSdk"),
      m_serverName("tandemlink_sdk_ipc_server"), m_fullServerName(m_serverName),
      m_clientAppId(CDeployment::value(CDeployment::ConferenceDefaultAppId)),
      m_clientAppKey(CDeployment::value(CDeployment::ConferenceDefaultAppKey))
{
}

CTandemlinkAPI::~CTandemlinkAPI() = default;

QString CTandemlinkAPI::clientAppId()
{
    // One fetch at a time: a call from inside the fetch's wait takes the
    // value held now.
    if (!m_loaded && !m_fetching) {
        m_fetching = true;
        fetch(0);
        m_fetching = false;
    }
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

void CTandemlinkAPI::fetch(int retryCount)
{
    qCDebug(lcConference) << "Tandemlink-CTandemlinkAPI: get api config";
    m_reply = CSignedRequest::postAndWait(
        {CApiConfig::UrlConferenceConfig, {{"configKey", "vcAppConfig"}}, CApiConfig::SignatureVersionA},
        kFetchTimeLimitMs);
    onFinished(retryCount);
}

void CTandemlinkAPI::onFinished(int retryCount)
{
    if (!m_reply) {
        return;
    }
    const CServiceAnswer answer = CSignedRequest::readAnswer(m_reply);
    QString appId;
    QString appKey;
    if (readConfig(answer, appId, appKey)) {
        qCDebug(lcConference) << "Tandemlink-CTandemlinkAPI: get api config OK";
        m_clientAppId = appId;
        m_clientAppKey = appKey;
        m_loaded = true;
        return;
    }
    if (retryCount < 1 && answer.timeOffsetChanged) {
        fetch(retryCount + 1);
        return;
    }
    qCDebug(lcConference).noquote() << "Tandemlink-CTandemlinkAPI: get api config error:" << answer.errorMsg;
}

bool CTandemlinkAPI::readConfig(const CServiceAnswer& answer, QString& appId, QString& appKey)
{
    // "content" is itself JSON, carried as a string.
    const QJsonObject config = CJsonText::parse(answer.content.toString().toUtf8()).object();
    appId = config.value("clientAppId").toString();
    appKey = config.value("clientAppKey").toString();
    return answer.success && !appId.isEmpty() && !appKey.isEmpty();
}
