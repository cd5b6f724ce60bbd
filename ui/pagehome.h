#pragma once

#include <QWidget>

class CNewsList;
class CPicSlider;
class QFrame;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

// The home page: a background picture with the weather of the PC's city for
// today and the next three days. The news area is built but stays hidden.
class PageHome : public QWidget
{
    Q_OBJECT
public:
    explicit PageHome(QWidget* parent = nullptr);

    // The forecast frames' labels by frame (1 to 4), for inspection.
    QLabel* forecastWeekLabel(int frame) const;
    QLabel* forecastIconLabel(int frame) const;
    QLabel* forecastDegreeLabel(int frame) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void getWeather();
    void setWeather();

private:
    void setupUi();

    QHBoxLayout* pageHomeHLayout = nullptr;
    QVBoxLayout* verticalLayout = nullptr;
    QFrame* frameWeather = nullptr;
    QLabel* wea_td_icon = nullptr;
    QLabel* wea_td_degree = nullptr;
    QLabel* wea_td_info = nullptr;
    QFrame* wea_frame[4] = {};
    QLabel* wea_wek[4] = {};
    QLabel* wea_icon[4] = {};
    QLabel* wea_degree[4] = {};
    QVBoxLayout* verticalLayout_2 = nullptr;
    QFrame* frameNews = nullptr;
    QLabel* news_title = nullptr;
    CPicSlider* news_pic = nullptr;
    CNewsList* news_news = nullptr;

    QString todayDegreeTemplate;
    QString todayInfoTemplate;
    QString weekTemplate;
    QString degreeTemplate;
};
