#include "ui/updater.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>

// No update source exists on this platform yet: every call is logged so the
// start-up and quit order can be followed, and the interactive check says so.
namespace {
std::function<void()>& shutdownCallback()
{
    static std::function<void()> callback;
    return callback;
}
} // namespace

void CUpdater::init()
{
    qDebug() << "CUpdater: init";
}

void CUpdater::setAutomaticCheckForUpdates(bool enabled)
{
    qDebug() << "CUpdater: automatic check for updates" << enabled;
}

void CUpdater::setShutdownRequestCallback(std::function<void()> callback)
{
    qDebug() << "CUpdater: shutdown request callback set";
    shutdownCallback() = std::move(callback);
}

void CUpdater::checkUpdateWithoutUi()
{
    qDebug() << "CUpdater: silent check skipped, no update source configured";
}

void CUpdater::checkUpdateWithUi(QWidget* parent)
{
    qDebug() << "CUpdater: interactive check, no update source configured";
    QMessageBox::information(parent, QCoreApplication::translate("CUpdater", "检查更新"),
                             QCoreApplication::translate("CUpdater", "未配置更新源，无法检查更新。"));
}

void CUpdater::cleanup()
{
    qDebug() << "CUpdater: cleanup";
    shutdownCallback() = nullptr;
}
