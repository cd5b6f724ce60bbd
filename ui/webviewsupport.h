#pragma once

#include <QString>
#include <QUrl>

class QBoxLayout;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;

// What the mail and conference pages share around their embedded web views.

// No persistent cookies, storage and cache in webEngineStoragePath() (for a
// profile that is not off the record), visited links cleared, no HTTP cache.
void applyWebProfileSettings(QWebEngineProfile* profile);

// The web engine's storage folder "webengine" in the data directory, created
// when missing. Empty, with the reason logged, when it is not a folder that
// can be written: the pages then keep their data in memory.
QString webEngineStoragePath();

// Creates the page's web view (expanding, no context menu, below its
// siblings) at position 1 of layout, which then loses its placeholder spacer.
QWebEngineView* createPageWebView(QWidget* parent, QBoxLayout* layout, const QString& objectName);

// The 1-pixel loading line at the top of a page.
QProgressBar* createLoadingLine(QWidget* parent, const QString& objectName);

// A tool page for the main window's tool area, styled by wid_tools.qss.
QWidget* createToolsPage(const QString& objectName);
// A flat 30 x 30 tool button at x, 15 on page.
QPushButton* addToolButton(QWidget* page, const QString& objectName, int x, const QString& toolTip);

// A value for an address's query, percent-encoded so that a ticket holding
// '&', '+', '#' or '%' reaches the service as it was issued.
QString queryValue(const QString& value);

// The local page shown instead of a page that failed to load.
QUrl networkErrorPageUrl();
bool isNetworkErrorPage(const QUrl& url);

// The progress the loading line shows: empty once loading is done.
int loadingLineValue(int progress);
