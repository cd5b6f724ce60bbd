#pragma once

#include <QList>
#include <QParallelAnimationGroup>
#include <QWidget>

class QLabel;
class QPushButton;

// Pictures that slide by one after another, with back and forward buttons and
// the current picture's title along the bottom edge.
class CPicSlider : public QWidget
{
    Q_OBJECT
public:
    explicit CPicSlider(QWidget* parent = nullptr);

    // The slider takes the picture; its title shows while it is current.
    void addPic(QWidget* pic, const QString& title);
    int count() const { return pics.size(); }
    int currentIndex() const { return current; }
    bool isTimerActive() const { return timerId != -1; }
    bool isAnimationPaused() const { return aniGroup->state() == QAbstractAnimation::Paused; }

public slots:
    void pause();
    void start();
    void reset();

protected:
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private slots:
    void toRight();
    void toLeft();
    void onAniFinished();
    void initBtn();
    void onBtnLeft();
    void onBtnRight();
    void onTitleChange();

private:
    enum Direction
    {
        Forward,
        Back
    };
    struct Pic
    {
        QWidget* widget;
        QString title;
    };
    bool move(Direction direction);

    QWidget* container = nullptr;
    QList<Pic> pics;
    int current = 0;
    QParallelAnimationGroup* aniGroup = nullptr;
    Direction lastDirection = Forward;
    int timerId = -1;
    QPushButton* btnLeft = nullptr;
    QPushButton* btnRight = nullptr;
    QLabel* picTitle = nullptr;
};
