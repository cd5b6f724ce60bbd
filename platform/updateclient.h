#pragma once

#include "platform/appcast.h"

#include <QFile>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkAccessManager;

// The client side of updates without windows: reads the feed, says whether a
// newer version is offered, downloads its package with the announced length
// and checks its Ed25519 signature. A package that fails any check is deleted;
// only a verified file is ever announced.
class CUpdateClient : public QObject
{
    Q_OBJECT
public:
    enum class CheckResult
    {
        UpToDate,
        UpdateAvailable,
        Failed
    };
    Q_ENUM(CheckResult)

    // network is not owned and must outlive the client (or its requests).
    CUpdateClient(QNetworkAccessManager* network, QObject* parent = nullptr);
    ~CUpdateClient() override;

    void setFeedUrl(const QUrl& url) { m_feedUrl = url; }
    QUrl feedUrl() const { return m_feedUrl; }
    void setPublicKeyPem(const QByteArray& pem) { m_publicKeyPem = pem; }
    void setCurrentVersion(const QString& version) { m_currentVersion = version; }
    // Where packages are downloaded to; created when needed.
    void setDownloadDirectory(const QString& directory) { m_downloadDirectory = directory; }
    QString downloadDirectory() const { return m_downloadDirectory; }

    bool isChecking() const { return !m_feedReply.isNull(); }
    bool isDownloading() const { return !m_downloadReply.isNull(); }

    // Answers with checkFinished(); a check already running goes on.
    void check();
    // Answers with downloadFinished(); progress on the way.
    void download(const CAppcastItem& item);
    // Stops a download and deletes what arrived; downloadFinished() reports it.
    void cancelDownload();

signals:
    void checkFinished(CUpdateClient::CheckResult result, const CAppcastItem& item, const QString& error);
    void downloadProgress(qint64 received, qint64 total);
    // ok: path is the verified package; otherwise nothing is left on disk.
    void downloadFinished(bool ok, const QString& path, const QString& error, bool cancelled);

private slots:
    void onFeedFinished();
    void onDownloadReadyRead();
    void onDownloadFinished();

private:
    void finishDownload(bool ok, const QString& error, bool cancelled = false);

    QNetworkAccessManager* m_network = nullptr;
    QUrl m_feedUrl;
    QByteArray m_publicKeyPem;
    QString m_currentVersion;
    QString m_downloadDirectory;
    QPointer<QNetworkReply> m_feedReply;
    QPointer<QNetworkReply> m_downloadReply;
    CAppcastItem m_item;
    QFile m_file;
    QString m_finalPath;
    bool m_tooLong = false;
};
