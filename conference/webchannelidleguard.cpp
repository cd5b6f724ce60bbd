#include "conference/webchannelidleguard.h"

#include <QEvent>
#include <QWebChannel>

CWebChannelIdleGuard::CWebChannelIdleGuard(QWebChannel* channel) : QObject(channel), m_channel(channel)
{
    // The timer belongs to the channel's publisher, a child object of it.
    for (QObject* child : channel->children()) {
        if (child->inherits("QMetaObjectPublisher")) {
            child->installEventFilter(this);
        }
    }
}

bool CWebChannelIdleGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Timer && !m_channel->blockUpdates()) {
        m_channel->setBlockUpdates(true);
        m_channel->setBlockUpdates(false);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
