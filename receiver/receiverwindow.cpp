#include "receiver/receiverwindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

ReceiverWindow::ReceiverWindow(const QString& code, const QString& address, QWidget* parent)
    : QWidget(parent), m_code(code), m_address(address), m_stop(new QPushButton(tr("停止投屏"), this))
{
    setWindowTitle(tr("投屏接收端 %1").arg(code));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    m_stop->setObjectName("btn_stop");
    m_stop->setCursor(Qt::PointingHandCursor);
    m_stop->setFocusPolicy(Qt::NoFocus);
    m_stop->setStyleSheet("QPushButton{background-color: rgb(1,149,255); color: white; border: none;"
                          " border-radius: 4px; padding: 8px 18px; font-size: 16px;}");
    m_stop->hide();
    connect(m_stop, &QPushButton::clicked, this, &ReceiverWindow::stopRequested);
    // Names come from senders: never markup.
    m_sharer = new QLabel(this);
    m_sharer->setObjectName("label_sharer");
    m_sharer->setTextFormat(Qt::PlainText);
    m_sharer->setStyleSheet("QLabel{background-color: rgba(0,0,0,160); color: white; border-radius: 4px;"
                            " padding: 8px 14px; font-size: 16px;}");
    m_sharer->hide();
}

void ReceiverWindow::setRoomCode(const QString& code)
{
    m_roomCode = code;
    update();
}

void ReceiverWindow::showSharer(const QString& name)
{
    m_sharer->setText(tr("%1 正在投屏").arg(name));
    m_sharer->setVisible(!name.isEmpty());
    resizeEvent(nullptr);
}

void ReceiverWindow::showPicture(const QImage& picture)
{
    m_picture = picture;
    m_stop->show();
    update();
}

void ReceiverWindow::showIdle()
{
    m_picture = QImage();
    m_stop->hide();
    m_sharer->hide();
    update();
}

void ReceiverWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_picture.isNull()) {
        painter.fillRect(rect(), Qt::black);
        const QSize fitted = m_picture.size().scaled(size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_picture);
        return;
    }
    painter.fillRect(rect(), QColor(18, 32, 52));
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPixelSize(qMax(12, height() / 18));
    painter.setFont(font);
    const int line = height() / 6;
    painter.drawText(QRect(0, line, width(), line), Qt::AlignCenter, tr("投屏码"));
    // The code fills about a fifth of the screen height.
    QFont big = font;
    big.setPixelSize(qMax(24, height() / 5));
    big.setBold(true);
    big.setLetterSpacing(QFont::PercentageSpacing, 115);
    painter.setFont(big);
    painter.setPen(QColor(1, 149, 255));
    if (m_roomCode.isEmpty()) {
        painter.drawText(QRect(0, 2 * line, width(), 2 * line), Qt::AlignCenter, m_code);
    } else {
        // Both codes side by side, each over its kind; on a small window the
        // codes shrink until each keeps a margin inside its half.
        const int half = width() / 2;
        const int widest = qMax(QFontMetrics(big).horizontalAdvance(m_code),
                                QFontMetrics(big).horizontalAdvance(m_roomCode));
        const int room = half * 85 / 100;
        if (widest > room) {
            big.setPixelSize(qMax(12, big.pixelSize() * room / widest));
            painter.setFont(big);
        }
        painter.drawText(QRect(0, 2 * line, half, 2 * line), Qt::AlignCenter, m_code);
        painter.drawText(QRect(half, 2 * line, half, 2 * line), Qt::AlignCenter, m_roomCode);
        QFont small = font;
        small.setPixelSize(qMax(10, height() / 30));
        painter.setFont(small);
        painter.setPen(QColor(200, 210, 220));
        const QRect captions(0, 2 * line + 2 * line * 7 / 8, half, line / 2);
        painter.drawText(captions, Qt::AlignCenter, tr("5位投屏码"));
        painter.drawText(captions.translated(half, 0), Qt::AlignCenter, tr("4位投屏码"));
    }
    painter.setFont(font);
    painter.setPen(QColor(200, 210, 220));
    painter.drawText(QRect(0, 4 * line, width(), line), Qt::AlignCenter, tr("地址 %1").arg(m_address));
}

void ReceiverWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit stopRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ReceiverWindow::resizeEvent(QResizeEvent*)
{
    m_stop->adjustSize();
    m_stop->move(width() - m_stop->width() - 24, height() - m_stop->height() - 24);
    // Beside the stop button, clear of the picture's middle.
    m_sharer->adjustSize();
    m_sharer->setMaximumWidth(qMax(0, m_stop->x() - 48));
    m_sharer->move(qMax(24, m_stop->x() - m_sharer->width() - 24), height() - m_sharer->height() - 24);
}
