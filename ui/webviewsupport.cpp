#include "ui/webviewsupport.h"

#include "core/logmanager.h"
#include "ui/stylesheet.h"
#include "ui/uilog.h"

#include <QBoxLayout>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryFile>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {
// Why path cannot hold the web engine's files, empty when it can.
QString unusableFolderReason(const QString& path)
{
    if (!QDir().mkpath(path)) {
        return QStringLiteral("cannot be created");
    }
    if (!QFileInfo(path).isDir()) {
        return QStringLiteral("is not a folder");
    }
    // Permission bits do not tell (root, read-only mounts): try it.
    QTemporaryFile probe(path + QStringLiteral("/.probe-XXXXXX"));
    if (!probe.open()) {
        return QStringLiteral("cannot be written: ") + probe.errorString();
    }
    return QString();
}
} // namespace

QString webEngineStoragePath()
{
    const QString storage = dataDirectory() + QStringLiteral("/webengine");
    for (const QString& folder : {storage, storage + QStringLiteral("/cache")}) {
        const QString reason = unusableFolderReason(folder);
        if (!reason.isEmpty()) {
            qCDebug(lcUi).noquote() << "WebViewSupport: web storage" << folder
                                    << reason + ", web pages keep their data in memory";
            return QString();
        }
    }
    return storage;
}

void applyWebProfileSettings(QWebEngineProfile* profile)
{
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    if (!profile->isOffTheRecord()) {
        const QString storage = webEngineStoragePath();
        profile->setPersistentStoragePath(storage);
        profile->setCachePath(storage + QStringLiteral("/cache"));
    }
    profile->clearAllVisitedLinks();
    profile->setHttpCacheType(QWebEngineProfile::NoCache);
}

QWebEngineView* createPageWebView(QWidget* parent, QBoxLayout* layout, const QString& objectName)
{
    auto* view = new QWebEngineView(parent);
    view->setObjectName(objectName);
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    view->lower();
    layout->insertWidget(1, view);
    for (int i = 0; i < layout->count(); ++i) {
        if (layout->itemAt(i)->spacerItem()) {
            delete layout->takeAt(i);
            break;
        }
    }
    return view;
}

QProgressBar* createLoadingLine(QWidget* parent, const QString& objectName)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(objectName);
    bar->setFixedHeight(1);
    bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    bar->setStyleSheet(QStringLiteral("background-color: rgb(73, 73, 73);"));
    bar->setValue(100);
    bar->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    bar->setTextVisible(false);
    bar->setFormat(QStringLiteral("%p%"));
    return bar;
}

QWidget* createToolsPage(const QString& objectName)
{
    auto* page = new QWidget();
    page->setObjectName(objectName);
    applyStyleSheet(QStringLiteral("wid_tools"), {page}, "Can't open the qss file of wid_tools.qss");
    return page;
}

QPushButton* addToolButton(QWidget* page, const QString& objectName, int x, const QString& toolTip)
{
    auto* button = new QPushButton(page);
    button->setObjectName(objectName);
    button->setGeometry(x, 15, 30, 30);
    button->setFlat(true);
    button->setToolTip(toolTip);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QUrl networkErrorPageUrl()
{
    return QUrl(QStringLiteral("qrc:///wid/res/common/networkerror.html"));
}

bool isNetworkErrorPage(const QUrl& url)
{
    return url.fileName() == QLatin1String("networkerror.html");
}

int loadingLineValue(int progress)
{
    return progress == 100 ? 0 : progress;
}

QString queryValue(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}
