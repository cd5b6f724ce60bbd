#include "ui/dialogtip.h"

#include "ui/stylesheet.h"

#include <QDebug>
#include <QLabel>
#include <QPropertyAnimation>
#include <QTimer>

DialogTip::DialogTip(const QString& tip, QWidget* parent, int msec) : QDialog(parent)
{
    // Only the frameless flag: with a parent the tip is a child that slides
    // out from under the parent's top edge and moves with the window.
    setWindowFlags(Qt::FramelessWindowHint);
    setObjectName(QStringLiteral("DialogTip"));
    setAttribute(Qt::WA_StyledBackground);
    resize(300, 35);
    setWindowTitle(tr("提示"));
    tip_tip = new QLabel(this);
    tip_tip->setObjectName(QStringLiteral("tip_tip"));
    tip_tip->setGeometry(3, 0, 294, 35);
    tip_tip->setAlignment(Qt::AlignCenter);
    QFont tipFont(QStringLiteral("微软雅黑"));
    tipFont.setPointSize(12);
    tip_tip->setFont(tipFont);

    applyStyleSheet(QStringLiteral("wid_dlgtip"), {this}, "Can't open the style sheet file of wid_dlgtip.");

    shownMsec = clampDisplayTime(msec);
    QTimer::singleShot(shownMsec, this, &QDialog::accept);
    tip_tip->setText(tip);
    startAni();
}

int DialogTip::clampDisplayTime(int msec)
{
    return qBound(1000, msec, 30000);
}

void DialogTip::startAni()
{
    const QWidget* parent = parentWidget();
    if (!parent) {
        move(x(), 10);
        return;
    }
    const int left = (parent->width() - width()) / 2;
    const QPoint from(left, -height());
    const QPoint to(left, 10);
    move(from);
    auto* slide = new QPropertyAnimation(this, "pos");
    slide->setDuration(500);
    slide->setStartValue(from);
    slide->setEndValue(to);
    slide->setEasingCurve(QEasingCurve::InOutQuart);
    aniGroup.addAnimation(slide);
    aniGroup.start();
}
