#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

class QLabel;

// The user's photo: centred and cropped to fill the widget, optionally cut to
// an ellipse, optionally covered by an overlay picture (a ring with a
// transparent hole) that lies in a sibling label exactly over the photo.
class CUserPhoto : public QWidget
{
    Q_OBJECT
public:
    explicit CUserPhoto(QWidget* parent = nullptr);

    void setEllipseMask(bool on);

    // What paint draws (already scaled), and the overlay; for inspection.
    QImage currentPhoto() const { return photo; }
    QLabel* overlayLabel() const { return maskLabel; }

signals:
    void clicked();

public slots:
    void setMaskPic(const QString& image);
    void setPic(const QImage& pixmap);
    void setPic(const QString& image);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void applyEllipseMask();

    QImage photo;
    QPixmap maskPixmap;
    QLabel* maskLabel = nullptr;
    int maskMargin = 1;
    bool ellipseMask = true;
};
