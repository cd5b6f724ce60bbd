#pragma once

#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>

class QWebChannel;

// A page of the conference view. The web channel (and with it the bridge
// object and the ticket it hands out) is offered only to documents of the
// conference origin: it is taken away before the page navigates anywhere
// else. Once a document of another origin was shown, the page never offers
// the channel again: the engine installs a channel into the live document,
// and that document runs until the next one has loaded. A navigation back to
// the conference origin is handed to conferenceNavigationRequested instead,
// for a fresh page to load it.
class MeetingWebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    MeetingWebPage(QWebChannel* channel, const QUrl& conferenceOrigin, QWebEngineProfile* profile,
                   QObject* parent = nullptr);

    static bool isSameOrigin(const QUrl& a, const QUrl& b);

signals:
    void conferenceNavigationRequested(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    void onUrlChanged(const QUrl& url);

    QPointer<QWebChannel> m_channel;
    QUrl m_conferenceOrigin;
    bool m_showedOtherOrigin = false;
};
