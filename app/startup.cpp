#include "app/startup.h"

#include "account/loginmanager.h"
#include "app/applog.h"
#include "app/singleapplication.h"
#include "conference/meetingmanager.h"
#include "conference/sharemanager.h"
#include "conference/tandemlinkproc.h"
#include "core/applicationidentity.h"
#include "core/cipher.h"
#include "core/deployment.h"
#include "core/dplustrack.h"
#include "core/localconfig.h"
#include "core/logmanager.h"
#include "core/netstatewathcer.h"
#include "core/singlenetworkmanger.h"
#include "platform/filemodes.h"
#include "platform/systemping.h"
#include "projection/projectionmanager.h"
#include "projection/sharewrapper.h"
#include "ui/fontsubstitution.h"
#include "ui/updater.h"
#include "ui/windowmain.h"
#include "weather/weather.h"

#include <QDebug>

#include <functional>
#include <utility>
#include <vector>

namespace {
// The one release order of quit: the main window first, the settings last.
// Managers that are never released here are destroyed at process exit.
const std::vector<std::pair<const char*, std::function<void()>>>& releaseOrder()
{
    static const std::vector<std::pair<const char*, std::function<void()>>> order = {
        {"WindowMain", [] { WindowMain::instance(true); }},
        {"CNetStateWathcer", [] { CNetStateWathcer::instance(true); }},
        {"CSingleNetworkManger", [] { CSingleNetworkManger::instance(true); }},
        {"CWeather", [] { CWeather::instance(true); }},
        {"CLoginManager", [] { CLoginManager::instance(true); }},
        {"CCipher", [] { CCipher::instance(true); }},
        {"CProjectionManager", [] { CProjectionManager::instance(true); }},
        {"CShareManager", [] { CShareManager::instance(true); }},
        {"CMeetingManager", [] { CMeetingManager::instance(true); }},
        {"CTandemlinkProc", [] { CTandemlinkProc::instance(true); }},
        {"CShareWrapper", [] { CShareWrapper::instance(true); }},
        // Last: its release writes the device entries through a new CCipher.
        {"CLocalConfig", [] { CLocalConfig::instance(true); }},
    };
    return order;
}
} // namespace

void onQuitCleanup()
{
    CUpdater::cleanup();
    // Handed over before the network access object goes; it may not leave.
    CDplusTrack::instance()->track(QString::fromUtf8("退出APP"));
    for (const auto& [name, release] : releaseOrder()) {
        qCDebug(lcApp).noquote() << "onQuitCleanup: release" << name;
        release();
    }
}

int runClient(int& argc, char** argv)
{
    restrictNewFilesToUser();
    setApplicationIdentity();
    // Headless (offscreen) has no OpenGL: the web engine's scene graph draws in software.
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && !qEnvironmentVariableIsSet("QT_QUICK_BACKEND")) {
        qputenv("QT_QUICK_BACKEND", "software");
    }
    CLogManager::instance().start();
    CLogManager::install();

    auto app = std::make_unique<SingleApplication>(argc, argv);
    if (app->isRunning()) {
        return 0;
    }

    // The settings are checked against this computer before anything reads them.
    CLocalConfig::instance(false);
    CSystemPing::setProgram(CDeployment::value(CDeployment::PingProgram));
    CSystemPing::setHost(CDeployment::value(CDeployment::PingHost));
    installFontSubstitutions();
    WindowMain* window = WindowMain::instance(false);
    window->show();
    app->setMainWindow(window);

    CUpdater::init();
    CUpdater::setAutomaticCheckForUpdates(true);
    CUpdater::setShutdownRequestCallback([] { QCoreApplication::quit(); });
    CUpdater::checkUpdateWithoutUi();

    QObject::connect(app.get(), &QCoreApplication::aboutToQuit, &onQuitCleanup);
    CDplusTrack::instance()->track(QString::fromUtf8("启动APP"));
    return app->exec();
}
