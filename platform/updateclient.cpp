#include "platform/updateclient.h"

#include "platform/ed25519signature.h"
#include "platform/platformlog.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace {
constexpr int kTransferTimeoutMs = 30000;
constexpr qint64 kMaxFeedBytes = 1024 * 1024;

QNetworkRequest request(const QUrl& url)
{
    QNetworkRequest r(url);
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    r.setTransferTimeout(kTransferTimeoutMs);
    return r;
}

// Only the last path segment of the URL, never a path the feed could steer.
QString packageFileName(const CAppcastItem& item)
{
    QString name = QFileInfo(item.url.path()).fileName();
    name.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9._+~-]")));
    if (name.isEmpty() || name.startsWith('.')) {
        name = QStringLiteral("vantelor-update-") + item.version + QStringLiteral(".deb");
    }
    return name;
}
} // namespace

CUpdateClient::CUpdateClient(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), m_network(network)
{
    qRegisterMetaType<CAppcastItem>("CAppcastItem");
    qRegisterMetaType<CUpdateClient::CheckResult>("CUpdateClient::CheckResult");
}

CUpdateClient::~CUpdateClient()
{
    if (m_feedReply) {
        m_feedReply->disconnect(this);
        m_feedReply->abort();
        m_feedReply->deleteLater();
    }
    if (m_downloadReply) {
        m_downloadReply->disconnect(this);
        m_downloadReply->abort();
        m_downloadReply->deleteLater();
        m_file.remove();
    }
}

void CUpdateClient::check()
{
    if (m_feedReply) {
        return;
    }
    if (!m_feedUrl.isValid() || m_publicKeyPem.isEmpty() || !m_network) {
        // Always answered from the event loop, like a check that went out.
        QMetaObject::invokeMethod(
            this,
            [this] {
                emit checkFinished(CheckResult::Failed, CAppcastItem(), tr("未配置更新源，无法检查更新。"));
            },
            Qt::QueuedConnection);
        return;
    }
    qCDebug(lcPlatform) << "CUpdateClient: reading the feed" << m_feedUrl.toString();
    m_feedReply = m_network->get(request(m_feedUrl));
    connect(m_feedReply, &QNetworkReply::finished, this, &CUpdateClient::onFeedFinished);
    connect(m_feedReply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > kMaxFeedBytes && m_feedReply) {
            m_feedReply->abort();
        }
    });
}

void CUpdateClient::onFeedFinished()
{
    QNetworkReply* reply = m_feedReply;
    m_feedReply.clear();
    if (!reply) {
        return;
    }
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200) {
        qCDebug(lcPlatform) << "CUpdateClient: feed not read:" << status << reply->errorString();
        emit checkFinished(CheckResult::Failed, CAppcastItem(), tr("无法读取更新信息，请检查网络后重试。"));
        return;
    }
    CAppcast feed;
    if (!feed.parse(reply->readAll())) {
        qCDebug(lcPlatform) << "CUpdateClient: feed malformed:" << feed.error();
        emit checkFinished(CheckResult::Failed, CAppcastItem(), tr("更新信息格式有误，请稍后重试。"));
        return;
    }
    CAppcastItem newest;
    if (feed.newerThan(m_currentVersion, newest)) {
        qCDebug(lcPlatform) << "CUpdateClient: version" << newest.version << "offered, running"
                            << m_currentVersion;
        emit checkFinished(CheckResult::UpdateAvailable, newest, QString());
    } else {
        qCDebug(lcPlatform) << "CUpdateClient: up to date at" << m_currentVersion;
        emit checkFinished(CheckResult::UpToDate, CAppcastItem(), QString());
    }
}

void CUpdateClient::download(const CAppcastItem& item)
{
    if (m_downloadReply) {
        return;
    }
    m_item = item;
    m_tooLong = false;
    const QString directory = m_downloadDirectory.isEmpty() ? QDir::tempPath() : m_downloadDirectory;
    if (!QDir().mkpath(directory)) {
        QMetaObject::invokeMethod(
            this, [this] { emit downloadFinished(false, QString(), tr("无法保存更新文件。"), false); },
            Qt::QueuedConnection);
        return;
    }
    m_finalPath = QDir(directory).filePath(packageFileName(item));
    QFile::remove(m_finalPath);
    m_file.setFileName(m_finalPath + QStringLiteral(".part"));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QMetaObject::invokeMethod(
            this, [this] { emit downloadFinished(false, QString(), tr("无法保存更新文件。"), false); },
            Qt::QueuedConnection);
        return;
    }
    qCDebug(lcPlatform) << "CUpdateClient: downloading" << item.url.toString() << item.length << "bytes";
    m_downloadReply = m_network->get(request(item.url));
    connect(m_downloadReply, &QNetworkReply::readyRead, this, &CUpdateClient::onDownloadReadyRead);
    connect(m_downloadReply, &QNetworkReply::finished, this, &CUpdateClient::onDownloadFinished);
}

void CUpdateClient::onDownloadReadyRead()
{
    if (!m_downloadReply) {
        return;
    }
    const QByteArray chunk = m_downloadReply->readAll();
    // More than announced is refused at once, not stored.
    if (m_file.size() + chunk.size() > m_item.length) {
        m_tooLong = true;
        m_downloadReply->abort();
        return;
    }
    if (m_file.write(chunk) != chunk.size()) {
        m_downloadReply->abort();
        return;
    }
    emit downloadProgress(m_file.size(), m_item.length);
}

void CUpdateClient::onDownloadFinished()
{
    QNetworkReply* reply = m_downloadReply;
    if (!reply) {
        return;
    }
    onDownloadReadyRead();
    m_downloadReply.clear();
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_tooLong) {
        finishDownload(false, tr("更新文件大小不符，已删除。"));
    } else if (reply->error() != QNetworkReply::NoError || status != 200) {
        qCDebug(lcPlatform) << "CUpdateClient: download failed:" << status << reply->errorString();
        finishDownload(false, tr("下载更新失败，请检查网络后重试。"));
    } else if (m_file.size() != m_item.length) {
        qCDebug(lcPlatform) << "CUpdateClient: received" << m_file.size() << "of" << m_item.length << "bytes";
        finishDownload(false, tr("更新文件大小不符，已删除。"));
    } else {
        m_file.close();
        QString reason;
        if (!Ed25519Signature::verifyFile(m_file.fileName(), m_item.signature, m_publicKeyPem, &reason)) {
            qCDebug(lcPlatform) << "CUpdateClient: package refused:" << reason;
            finishDownload(false, tr("更新文件签名校验失败，已删除。"));
        } else if (!m_file.rename(m_finalPath)) {
            finishDownload(false, tr("无法保存更新文件。"));
        } else {
            qCDebug(lcPlatform) << "CUpdateClient: package verified" << m_finalPath;
            finishDownload(true, QString());
        }
    }
}

void CUpdateClient::cancelDownload()
{
    QNetworkReply* reply = m_downloadReply;
    if (!reply) {
        return;
    }
    m_downloadReply.clear();
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    qCDebug(lcPlatform) << "CUpdateClient: download cancelled";
    finishDownload(false, QString(), true);
}

void CUpdateClient::finishDownload(bool ok, const QString& error, bool cancelled)
{
    if (ok) {
        emit downloadFinished(true, m_finalPath, QString(), false);
        return;
    }
    m_file.close();
    m_file.remove();
    QFile::remove(m_finalPath);
    emit downloadFinished(false, QString(), error, cancelled);
}
