#include "receiver/roomserviceclient.h"
#include "platform/jsontext.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSettings>
#include <QUrl>
#include <QUrlQuery>

bool RoomServiceClient::Settings::load(const QString& file, Settings& settings, QString& problem)
{
    if (!QFileInfo(file).isReadable()) {
        problem = "cannot read " + file;
        return false;
    }
    QSettings ini(file, QSettings::IniFormat);
    settings.serviceOrigin = ini.value("serviceOrigin").toString();
    settings.appId = ini.value("appId").toString();
    settings.appKey = ini.value("appKey").toString();
    for (const auto& [key, value] :
         {std::make_pair("serviceOrigin", settings.serviceOrigin), std::make_pair("appId", settings.appId),
          std::make_pair("appKey", settings.appKey)}) {
        if (value.isEmpty()) {
            problem = QString("%1 has no \"%2\"").arg(file, key);
            return false;
        }
    }
    return true;
}

RoomServiceClient::RoomServiceClient(const Settings& settings, QObject* parent)
    : QObject(parent), m_settings(settings)
{
    // The service is named by its origin; a proxy from the environment must not step in.
    m_network.setProxy(QNetworkProxy::NoProxy);
}

void RoomServiceClient::registerRoom(const QString& name, const QString& address, int port, const Done& done)
{
    call("POST", "/api/rooms/register", QJsonObject{{"name", name}, {"address", address}, {"port", port}},
         done);
}

void RoomServiceClient::renew(const QString& code, const Done& done)
{
    call("POST", "/api/rooms/renew", QJsonObject{{"code", code}}, done);
}

void RoomServiceClient::lookup(const QString& code, const Done& done)
{
    QUrlQuery query;
    query.addQueryItem("code", code);
    call("GET", "/api/rooms/lookup?" + query.toString(QUrl::FullyEncoded), QJsonObject(), done);
}

void RoomServiceClient::call(const QByteArray& method, const QString& pathAndQuery, const QJsonObject& body,
                             const Done& done)
{
    QNetworkRequest request(QUrl(m_settings.serviceOrigin + pathAndQuery));
    request.setRawHeader("X-Conference-App-Id", m_settings.appId.toUtf8());
    request.setRawHeader("X-Conference-App-Key", m_settings.appKey.toUtf8());
    request.setTransferTimeout(m_timeoutMs);
    QNetworkReply* reply;
    if (method == "GET") {
        reply = m_network.get(request);
    } else {
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        reply = m_network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    }
    connect(reply, &QNetworkReply::finished, this, [reply, done] {
        reply->deleteLater();
        Result result;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonDocument document = CJsonText::parse(reply->readAll());
        const QJsonObject answer = document.object();
        // An envelope is an object with a boolean "success"; anything else
        // (no connection, time-out, 5xx pages, garbage) did not reach the service's logic.
        if (!document.isObject() || !answer.value("success").isBool() || status >= 500) {
            result.problem = reply->error() != QNetworkReply::NoError
                                 ? reply->errorString()
                                 : QString("HTTP %1 without an answer envelope").arg(status);
            done(result);
            return;
        }
        result.reached = true;
        result.errorCode = answer.value("errorCode").toVariant().toString();
        result.errorMsg = answer.value("errorMsg").toString();
        result.content = answer.value("content").toObject();
        result.success = answer.value("success").toBool() && answer.value("content").isObject();
        done(result);
    });
}
