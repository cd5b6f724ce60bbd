#include "ui/userphoto.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

CUserPhoto::CUserPhoto(QWidget* parent) : QWidget(parent)
{
    if (parentWidget()) {
        maskLabel = new QLabel(parentWidget());
        maskLabel->setGeometry(geometry());
        maskLabel->raise();
        maskLabel->setAttribute(Qt::WA_TranslucentBackground);
        maskLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    maskMargin = 1;
    ellipseMask = true;
}

void CUserPhoto::setEllipseMask(bool on)
{
    ellipseMask = on;
    if (ellipseMask) {
        applyEllipseMask();
    }
}

void CUserPhoto::applyEllipseMask()
{
    setMask(QRegion(maskMargin, maskMargin, width() - 2 * maskMargin, height() - 2 * maskMargin,
                    QRegion::Ellipse));
}

void CUserPhoto::setMaskPic(const QString& image)
{
    maskPixmap.load(image);
    if (maskPixmap.isNull()) {
        return;
    }
    maskPixmap = maskPixmap.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (maskLabel) {
        maskLabel->setPixmap(maskPixmap);
    }
}

void CUserPhoto::setPic(const QImage& pixmap)
{
    photo = pixmap;
    if (photo.isNull()) {
        return;
    }
    photo = photo.scaled(size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    update();
}

void CUserPhoto::setPic(const QString& image)
{
    const QImage loaded(image);
    if (!loaded.isNull()) {
        setPic(loaded);
    }
}

void CUserPhoto::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage((width() - photo.width()) / 2, (height() - photo.height()) / 2, photo);
}

void CUserPhoto::resizeEvent(QResizeEvent* event)
{
    if (ellipseMask) {
        applyEllipseMask();
    }
    if (maskLabel) {
        maskLabel->resize(size());
    }
    QWidget::resizeEvent(event);
}

void CUserPhoto::moveEvent(QMoveEvent* event)
{
    if (!maskLabel) {
        return;
    }
    maskLabel->move(pos());
    QWidget::moveEvent(event);
    event->accept();
}

void CUserPhoto::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void CUserPhoto::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked();
    }
    event->accept();
}
