#pragma once

#include <QObject>
#include <QPointer>

// Counts the timer events an object receives: a test waits for the object's
// own timer to have run N more times instead of sleeping for N periods.
class TimerTicks : public QObject
{
public:
    explicit TimerTicks(QObject* watched);
    ~TimerTicks() override;

    int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QObject> m_watched;
    int m_count = 0;
};
