#include "ui/picslider.h"

#include "ui/screenscale.h"

#include <QEasingCurve>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTimerEvent>

namespace {
constexpr int kSlideIntervalMs = 700;
constexpr int kSlideDurationMs = 600;
constexpr int kTitleHeight = 26;
} // namespace

CPicSlider::CPicSlider(QWidget* parent) : QWidget(parent)
{
    container = new QWidget(this);
    container->setObjectName(QStringLiteral("picContainer"));
    container->setGeometry(rect());
    aniGroup = new QParallelAnimationGroup(this);
    connect(aniGroup, &QParallelAnimationGroup::finished, this, &CPicSlider::onAniFinished);
    initBtn();
}

void CPicSlider::initBtn()
{
    btnLeft = new QPushButton(this);
    btnLeft->setObjectName(QStringLiteral("btnLeft"));
    btnRight = new QPushButton(this);
    btnRight->setObjectName(QStringLiteral("btnRight"));
    for (QPushButton* button : {btnLeft, btnRight}) {
        button->setFixedSize(30, 40);
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::PointingHandCursor);
    }
    btnLeft->setStyleSheet(QStringLiteral("QPushButton{border:none;background:transparent;"
                                          "image:url(:/wid/res/picslider/btn_left.png);}"
                                          "QPushButton:hover{background-color:rgba(0,0,0,50);}"));
    btnRight->setStyleSheet(QStringLiteral("QPushButton{border:none;background:transparent;"
                                           "image:url(:/wid/res/picslider/btn_right.png);}"
                                           "QPushButton:hover{background-color:rgba(0,0,0,50);}"));
    connect(btnLeft, &QPushButton::clicked, this, &CPicSlider::onBtnLeft);
    connect(btnRight, &QPushButton::clicked, this, &CPicSlider::onBtnRight);

    picTitle = new QLabel(this);
    picTitle->setObjectName(QStringLiteral("picTitle"));
    picTitle->setFixedHeight(kTitleHeight);
    picTitle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    picTitle->setStyleSheet(
        QStringLiteral("QLabel{background-color:rgba(0,0,0,50);color:rgb(240,240,240);padding-left:10px;}"));
    QFont font(QStringLiteral("微软雅黑"));
    font.setPointSize(fontPointSize(2));
    picTitle->setFont(font);
}

void CPicSlider::addPic(QWidget* pic, const QString& title)
{
    pic->setParent(container);
    pic->setGeometry(0, 0, width(), height());
    pic->setVisible(pics.isEmpty());
    pics.append({pic, title});
    btnLeft->raise();
    btnRight->raise();
    picTitle->raise();
    onTitleChange();
}

void CPicSlider::pause()
{
    if (timerId != -1) {
        killTimer(timerId);
        timerId = -1;
    }
    if (aniGroup->state() == QAbstractAnimation::Running) {
        aniGroup->pause();
    }
}

void CPicSlider::start()
{
    if (aniGroup->state() == QAbstractAnimation::Paused) {
        aniGroup->resume();
    }
    if (timerId == -1) {
        timerId = startTimer(kSlideIntervalMs, Qt::CoarseTimer);
    }
}

void CPicSlider::reset()
{
    aniGroup->stop();
    aniGroup->clear();
    current = 0;
    for (int i = 0; i < pics.size(); ++i) {
        pics.at(i).widget->move(0, 0);
        pics.at(i).widget->setVisible(i == 0);
    }
    onTitleChange();
}

bool CPicSlider::move(Direction direction)
{
    if (pics.size() < 2) {
        return false;
    }
    if (aniGroup->state() == QAbstractAnimation::Paused) {
        aniGroup->resume();
        return false;
    }
    if (aniGroup->state() == QAbstractAnimation::Running) {
        return false;
    }
    const int w = width();
    const int next =
        direction == Forward ? (current + 1) % pics.size() : (current + pics.size() - 1) % pics.size();
    QWidget* outgoing = pics.at(current).widget;
    QWidget* incoming = pics.at(next).widget;
    const int entry = direction == Forward ? w : -w;
    incoming->move(entry, 0);
    incoming->show();

    aniGroup->clear();
    auto* out = new QPropertyAnimation(outgoing, "pos");
    out->setDuration(kSlideDurationMs);
    out->setStartValue(QPoint(0, 0));
    out->setEndValue(QPoint(-entry, 0));
    out->setEasingCurve(QEasingCurve::OutQuart);
    auto* in = new QPropertyAnimation(incoming, "pos");
    in->setDuration(kSlideDurationMs);
    in->setStartValue(QPoint(entry, 0));
    in->setEndValue(QPoint(0, 0));
    in->setEasingCurve(QEasingCurve::OutQuad);
    aniGroup->addAnimation(out);
    aniGroup->addAnimation(in);
    lastDirection = direction;
    current = next;
    onTitleChange();
    aniGroup->start();
    return true;
}

void CPicSlider::toRight()
{
    move(Forward);
}

void CPicSlider::toLeft()
{
    move(Back);
}

void CPicSlider::onAniFinished()
{
    for (int i = 0; i < pics.size(); ++i) {
        if (i != current) {
            pics.at(i).widget->hide();
        }
    }
}

void CPicSlider::onBtnLeft()
{
    toLeft();
}

void CPicSlider::onBtnRight()
{
    toRight();
}

void CPicSlider::onTitleChange()
{
    const QString title = pics.isEmpty() ? QString() : pics.at(current).title;
    picTitle->setText(picTitle->fontMetrics().elidedText(title, Qt::ElideRight, picTitle->width() - 20));
}

void CPicSlider::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == timerId) {
        toRight();
        return;
    }
    QWidget::timerEvent(event);
}

void CPicSlider::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    container->setGeometry(rect());
    for (const Pic& pic : qAsConst(pics)) {
        pic.widget->resize(size());
    }
    const int y = (height() - btnLeft->height()) / 2;
    btnLeft->move(5, y);
    btnRight->move(width() - btnRight->width() - 5, y);
    picTitle->setGeometry(0, height() - kTitleHeight, width(), kTitleHeight);
    onTitleChange();
}

void CPicSlider::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    start();
}

void CPicSlider::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    pause();
}
