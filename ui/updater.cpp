#include "ui/updater.h"

#include "core/deployment.h"
#include "platform/updateclient.h"
#include "ui/dialogupdate.h"
#include "ui/firstpaintwatcher.h"
#include "ui/uilog.h"
#include "ui/windowmain.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QNetworkAccessManager>
#include <QStandardPaths>
#include <QTimer>

#include <memory>

namespace {
constexpr int kTipMs = 30000;

struct UpdaterState
{
    // Its own network access object: packages are far larger and slower
    // than the answers the shared one is bounded for.
    QNetworkAccessManager network;
    CUpdateClient client{&network};
    // The silent checks use a client of their own, so that a dialog's check
    // never answers a silent one.
    CUpdateClient silentClient{&network};
    QTimer daily;
    bool automatic = false;
    int silentChecks = 0;
};

std::unique_ptr<UpdaterState>& state()
{
    static std::unique_ptr<UpdaterState> s;
    return s;
}

std::function<void()>& shutdownCallback()
{
    static std::function<void()> callback;
    return callback;
}

int& intervalMs()
{
    static int ms = CUpdater::kAutomaticCheckIntervalMs;
    return ms;
}

QString& downloadDirectoryOverride()
{
    static QString directory;
    return directory;
}

QString downloadDirectory()
{
    if (!downloadDirectoryOverride().isEmpty()) {
        return downloadDirectoryOverride();
    }
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).filePath("updates");
}

void configure(CUpdateClient& client)
{
    const QString origin = CDeployment::value(CDeployment::DownloadOrigin);
    client.setFeedUrl(origin.isEmpty() ? QUrl() : QUrl(origin + "/static/download/linux/appcast.xml"));
    client.setPublicKeyPem(CDeployment::value(CDeployment::UpdatePublicKeyPem).toLatin1());
    client.setCurrentVersion(QCoreApplication::applicationVersion());
    client.setDownloadDirectory(downloadDirectory());
}

WindowMain* mainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<WindowMain*>(widget)) {
            return window;
        }
    }
    return nullptr;
}

void runSilentCheck()
{
    UpdaterState* s = state().get();
    if (!s || s->silentClient.isChecking()) {
        return;
    }
    ++s->silentChecks;
    configure(s->silentClient);
    s->silentClient.check();
}

void onSilentCheckFinished(CUpdateClient::CheckResult result, const CAppcastItem& item)
{
    if (result != CUpdateClient::CheckResult::UpdateAvailable) {
        return;
    }
    if (WindowMain* window = mainWindow()) {
        window->onShowTip(QCoreApplication::translate("CUpdater", "发现新版本 %1，请在“检查更新”中更新")
                              .arg(item.shortVersion),
                          kTipMs);
    }
}
} // namespace

void CUpdater::init()
{
    qCDebug(lcUi) << "CUpdater: init";
    if (state()) {
        return;
    }
    state() = std::make_unique<UpdaterState>();
    UpdaterState* s = state().get();
    QObject::connect(&s->silentClient, &CUpdateClient::checkFinished, &s->silentClient,
                     [](CUpdateClient::CheckResult result, const CAppcastItem& item, const QString&) {
                         onSilentCheckFinished(result, item);
                     });
    QObject::connect(&s->daily, &QTimer::timeout, &s->daily, &runSilentCheck);
}

void CUpdater::setAutomaticCheckForUpdates(bool enabled)
{
    qCDebug(lcUi) << "CUpdater: automatic check for updates" << enabled;
    if (UpdaterState* s = state().get()) {
        s->automatic = enabled;
        if (!enabled) {
            s->daily.stop();
        }
    }
}

void CUpdater::setShutdownRequestCallback(std::function<void()> callback)
{
    qCDebug(lcUi) << "CUpdater: shutdown request callback set";
    shutdownCallback() = std::move(callback);
}

void CUpdater::checkUpdateWithoutUi()
{
    UpdaterState* s = state().get();
    if (!s) {
        return;
    }
    const auto start = [] {
        UpdaterState* now = state().get();
        if (!now) {
            return;
        }
        runSilentCheck();
        if (now->automatic) {
            now->daily.start(intervalMs());
        }
    };
    // The first window's first frame comes before any network work.
    QWidget* window = mainWindow();
    if (!window) {
        window = QApplication::activeWindow();
    }
    if (window && window->isVisible()) {
        new FirstPaintWatcher(window, start);
    } else {
        QTimer::singleShot(0, &s->daily, start);
    }
}

DialogUpdate* CUpdater::checkUpdateWithUi(QWidget* parent)
{
    qCDebug(lcUi) << "CUpdater: interactive check";
    if (!state()) {
        init();
    }
    UpdaterState* s = state().get();
    configure(s->client);
    auto* dialog = new DialogUpdate(&s->client, parent);
    // After the dialog's own loop has ended: the client quits for the installer.
    QObject::connect(dialog, &DialogUpdate::installerStarted, qApp, [] {
        QTimer::singleShot(0, qApp, [] {
            qCDebug(lcUi) << "CUpdater: the installer runs, quitting";
            if (shutdownCallback()) {
                shutdownCallback()();
            }
        });
    });
    return dialog;
}

void CUpdater::cleanup()
{
    qCDebug(lcUi) << "CUpdater: cleanup";
    state().reset();
    shutdownCallback() = nullptr;
}

void CUpdater::setAutomaticCheckIntervalForTesting(int ms)
{
    intervalMs() = ms > 0 ? ms : kAutomaticCheckIntervalMs;
}

void CUpdater::setDownloadDirectoryForTesting(const QString& directory)
{
    downloadDirectoryOverride() = directory;
}

int CUpdater::silentCheckCountForTesting()
{
    return state() ? state()->silentChecks : 0;
}
