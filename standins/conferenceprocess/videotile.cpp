#include "videotile.h"

#include <QPainter>

namespace {
constexpr int kNameHeight = 28;
}

CVideoTile::CVideoTile(const QString& name, QWidget* parent) : QWidget(parent), m_name(name)
{
    setMinimumSize(240, 135 + kNameHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CVideoTile::setImage(const QImage& image)
{
    m_image = image;
    update();
}

void CVideoTile::setNote(const QString& note)
{
    m_note = note;
    update();
}

void CVideoTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(24, 26, 31));
    const QRect video = rect().adjusted(0, 0, 0, -kNameHeight);
    if (!m_image.isNull()) {
        const QSize size = m_image.size().scaled(video.size(), Qt::KeepAspectRatio);
        const QRect target(video.center() - QPoint(size.width() / 2, size.height() / 2), size);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_image);
    }
    painter.setPen(QColor(220, 224, 230));
    const QString waiting = m_image.isNull() ? QStringLiteral("正在连接…") : QString();
    const QString over = m_note.isEmpty() ? waiting : m_note;
    if (!over.isEmpty()) {
        painter.drawText(video, Qt::AlignCenter, over);
    }
    const QRect label(0, height() - kNameHeight, width(), kNameHeight);
    painter.fillRect(label, QColor(40, 43, 50));
    // Plain text: a name is never read as markup.
    painter.drawText(label.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(m_name, Qt::ElideRight, label.width() - 16));
}
