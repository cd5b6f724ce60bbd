#include "ui/newslist.h"

#include <QPainter>

CNewsList::CNewsList(QWidget* parent) : QWidget(parent) {}

void CNewsList::setNews(const QList<NewsItem>& items)
{
    newsItems = items;
    update();
}

void CNewsList::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setPen(QColor(255, 255, 255, 240));
    const QFontMetrics metrics(font());
    for (int i = 0; i < newsItems.size(); ++i) {
        const QRect row(0, i * itemHeight, width(), itemHeight);
        if (row.top() >= height()) {
            break;
        }
        painter.drawText(row.adjusted(10, 0, -10, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(newsItems.at(i).title, Qt::ElideRight, row.width() - 20));
    }
}
