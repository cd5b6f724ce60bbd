#pragma once

#include <QDialog>
#include <QSequentialAnimationGroup>

class QLabel;

// A transient notice: a grey rounded strip with one line of white text that
// slides down from the top edge of its parent, stays for a while and closes.
class DialogTip : public QDialog
{
    Q_OBJECT
public:
    // msec is how long the tip stays, kept within 1 to 30 seconds.
    DialogTip(const QString& tip, QWidget* parent, int msec);

    int displayTime() const { return shownMsec; }
    static int clampDisplayTime(int msec);

private slots:
    void startAni();

private:
    QLabel* tip_tip = nullptr;
    QSequentialAnimationGroup aniGroup;
    int shownMsec = 0;
};
