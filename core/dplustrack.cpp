#include "core/dplustrack.h"

#include "core/corelog.h"
#include "core/deployment.h"
#include "core/singlenetworkmanger.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>
#include <QUrl>

CDplusTrack::CDplusTrack()
    : m_common{{"appkey", CDeployment::value(CDeployment::AnalyticsAppKey)},
               {"browser", "QtWebEngine"},
               {"os", QSysInfo::productType()},
               {"os_version", QSysInfo::productVersion()},
               {"app_version", QCoreApplication::applicationVersion()},
               {"user", QString::fromUtf8("未登录")}},
      m_collectionAddress(CDeployment::value(CDeployment::AnalyticsCollectorOrigin) + "/dplusTrack/?data=")
{
}

namespace {
CDplusTrack::SignedInUser& signedInUser()
{
    static CDplusTrack::SignedInUser provider;
    return provider;
}
} // namespace

void CDplusTrack::setSignedInUser(SignedInUser provider)
{
    signedInUser() = std::move(provider);
}

QString CDplusTrack::userText(const QString& phone)
{
    if (m_lastUser != phone || m_userText.isEmpty()) {
        m_lastUser = phone;
        const QByteArray digest = QCryptographicHash::hash(phone.toUtf8(), QCryptographicHash::Md5)
                                      .toBase64(QByteArray::OmitTrailingEquals);
        m_userText = QString::fromUtf8("已登录") + QString::fromLatin1(digest.right(8)).toLower();
    }
    return m_userText;
}

QString CDplusTrack::encodedEvent(const QString& eventName)
{
    QJsonObject event{{"event_name", eventName}};
    const std::optional<QString> phone = signedInUser() ? signedInUser()() : std::nullopt;
    if (phone) {
        event.insert("user", userText(*phone));
    }
    const QJsonObject document{{"common", m_common}, {"events", QJsonArray{event}}};
    return QString::fromLatin1(QJsonDocument(document)
                                   .toJson(QJsonDocument::Compact)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::KeepTrailingEquals));
}

bool CDplusTrack::track(const QString& eventName)
{
    if (eventName.isEmpty()) {
        return false;
    }
    const QString encoded = encodedEvent(eventName);
    if (encoded.isEmpty()) {
        return false;
    }
    QNetworkReply* reply = CSingleNetworkManger::instance()->manager()->get(
        QNetworkRequest(QUrl(m_collectionAddress + encoded)));
    // Nobody reads the answer; the reply only has to go away once it is done.
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    qCDebug(lcCore).noquote() << "CDplusTrack event name:" << eventName;
    return true;
}
