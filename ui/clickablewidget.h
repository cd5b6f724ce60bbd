#pragma once

#include <QWidget>

// A plain widget that reports left-button presses and releases and still lets
// its parent see them (the grey mask of the window base is one).
class CClickableWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CClickableWidget(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

signals:
    void mousePressed();
    void mouseReleased();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
