#pragma once

#include <QObject>

class QPushButton;

// The "retry in N s" countdown of an SMS-code button, shared by every dialog
// that asks for a code. While it runs the button is disabled and shows the
// seconds left; when it ends the button reads "获取验证码" again and
// signalStopped() lets the dialog re-apply its enabling rules.
class CCodeCountdown : public QObject
{
    Q_OBJECT
public:
    enum class Style
    {
        // 60 at once, 59 ... 1 on the ticks, ends at the 60th tick.
        EndsAtSixtiethTick,
        // 60 at once and again at the first tick, then 59 ... 1; ends at the
        // 61st tick (the registration and find-password buttons).
        RepeatsFirstValue,
    };
    Q_ENUM(Style)

    static constexpr int kSeconds = 60;

    CCodeCountdown(QPushButton* button, Style style, QObject* parent);
    ~CCodeCountdown() override;

    bool isRunning() const { return m_timerId != -1; }
    // Id of the running timer, -1 when idle (tests drive ticks with it).
    int timerId() const { return m_timerId; }
    // Seconds still to show; kSeconds whenever idle.
    int countdown() const { return m_countdown; }

public slots:
    // Starts a countdown unless one runs already.
    void start();
    // Ends a running countdown; does nothing when idle.
    void stop();

signals:
    void signalStopped();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void showRemaining();

    QPushButton* m_button;
    Style m_style;
    int m_timerId = -1;
    int m_countdown = kSeconds;
};
