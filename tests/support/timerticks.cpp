#include "support/timerticks.h"

#include <QEvent>

TimerTicks::TimerTicks(QObject* watched) : m_watched(watched)
{
    watched->installEventFilter(this);
}

TimerTicks::~TimerTicks()
{
    if (m_watched) {
        m_watched->removeEventFilter(this);
    }
}

bool TimerTicks::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Timer) {
        ++m_count;
    }
    return QObject::eventFilter(watched, event);
}
