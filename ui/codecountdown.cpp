#include "ui/codecountdown.h"

#include "ui/actionbutton.h"

#include <QPushButton>
#include <QTimerEvent>

CCodeCountdown::CCodeCountdown(QPushButton* button, Style style, QObject* parent)
    : QObject(parent), m_button(button), m_style(style)
{
}

CCodeCountdown::~CCodeCountdown()
{
    // The dialog and its button are going away: end quietly.
    if (m_timerId != -1)
        killTimer(m_timerId);
}

void CCodeCountdown::start()
{
    if (m_timerId != -1)
        return;
    if (m_style == Style::EndsAtSixtiethTick) {
        m_countdown = kSeconds;
        showRemaining();
    } else {
        setActionButtonEnabled(m_button, false);
        showRemaining();
        m_countdown = kSeconds;
    }
    m_timerId = startTimer(1000, Qt::CoarseTimer);
}

void CCodeCountdown::stop()
{
    if (m_timerId == -1)
        return;
    killTimer(m_timerId);
    m_timerId = -1;
    m_countdown = kSeconds;
    m_button->setText(tr("获取验证码"));
    emit signalStopped();
}

void CCodeCountdown::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timerId)
        showRemaining();
}

void CCodeCountdown::showRemaining()
{
    if (m_countdown == 0) {
        stop();
        return;
    }
    m_button->setText(tr("%1s后重试").arg(m_countdown));
    setActionButtonEnabled(m_button, false);
    --m_countdown;
}
