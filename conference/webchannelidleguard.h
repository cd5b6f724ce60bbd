#pragma once

#include <QObject>

class QWebChannel;

// Qt 5's web channel, once its page reports that it is idle, starts a 50 ms
// timer that only sends batched property updates, and keeps it running for
// as long as the page stays idle: 20 wake-ups a second of the GUI thread for
// as long as a page with the channel is open. This guard stops that timer at
// its first tick through the channel's public update switch (blocked, which
// stops the timer; unblocked again, which sends any pending update at once).
// Signals are not batched and are not affected. A child of the channel.
class CWebChannelIdleGuard : public QObject
{
public:
    explicit CWebChannelIdleGuard(QWebChannel* channel);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWebChannel* m_channel;
};
