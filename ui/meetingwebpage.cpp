#include "ui/meetingwebpage.h"

#include "ui/uilog.h"

#include <QDebug>
#include <QWebChannel>

MeetingWebPage::MeetingWebPage(QWebChannel* channel, const QUrl& conferenceOrigin, QWebEngineProfile* profile,
                               QObject* parent)
    : QWebEnginePage(profile, parent), m_channel(channel), m_conferenceOrigin(conferenceOrigin)
{
    connect(this, &QWebEnginePage::urlChanged, this, &MeetingWebPage::onUrlChanged);
}

bool MeetingWebPage::isSameOrigin(const QUrl& a, const QUrl& b)
{
    const QString scheme = a.scheme().toLower();
    const int defaultPort = scheme == QLatin1String("https")  ? 443
                            : scheme == QLatin1String("http") ? 80
                                                              : -1;
    return !a.host().isEmpty() && scheme == b.scheme().toLower() &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(defaultPort) == b.port(defaultPort);
}

bool MeetingWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame) {
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    if (!isSameOrigin(url, m_conferenceOrigin)) {
        if (webChannel()) {
            qCDebug(lcUi).noquote() << "PageMeeting: no web channel for" << url.scheme() + "://" + url.host();
            setWebChannel(nullptr);
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    if (m_showedOtherOrigin) {
        emit conferenceNavigationRequested(url);
        return false;
    }
    if (m_channel && webChannel() != m_channel) {
        setWebChannel(m_channel);
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

void MeetingWebPage::onUrlChanged(const QUrl& url)
{
    // Also for documents that came without a navigation request. The blank
    // document a page starts with is nobody's.
    if (!url.isEmpty() && url != QUrl(QStringLiteral("about:blank")) &&
        !isSameOrigin(url, m_conferenceOrigin)) {
        m_showedOtherOrigin = true;
        setWebChannel(nullptr);
    }
}
