#pragma once

#include <QList>
#include <QString>
#include <QWidget>

// A plain list of news titles, one row each.
class CNewsList : public QWidget
{
    Q_OBJECT
public:
    struct NewsItem
    {
        QString title;
        QString url;
    };

    explicit CNewsList(QWidget* parent = nullptr);

    void setNews(const QList<NewsItem>& items);
    const QList<NewsItem>& news() const { return newsItems; }
    int rowHeight() const { return itemHeight; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<NewsItem> newsItems;
    int itemHeight = 30;
};
