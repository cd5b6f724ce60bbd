#include "ui/pagehome.h"

#include "ui/firstpaintwatcher.h"
#include "ui/newslist.h"
#include "ui/picslider.h"
#include "ui/screenscale.h"
#include "ui/stylesheet.h"
#include "ui/windowbase.h"
#include "weather/weather.h"

#include <QDebug>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStyleOption>
#include <QVBoxLayout>

namespace {
const char* const kInitialDegree =
    "<html><head/><body><p>--<span style=\" vertical-align:super;\">o</span></p></body></html>";
const char* const kInitialInfo = "<html><head/><body><p><span style=\" font-size:20pt;\">深圳 </span><span "
                                 "style=\" font-size:14pt;\">-- --/--/--</span></p></body></html>";
const char* const kInitialWeek = "<html><head/><body><p>--</p></body></html>";
const char* const kInitialForecastDegree =
    "<html><head/><body><p>--<span style=\" vertical-align:super;\">o</span>C</p></body></html>";

QLabel* makeLabel(QWidget* parent, const QString& name, Qt::Alignment alignment)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::RichText);
    return label;
}
} // namespace

PageHome::PageHome(QWidget* parent) : QWidget(parent)
{
    setupUi();

    QFont forecastFont(QStringLiteral("微软雅黑"));
    forecastFont.setPointSize(fontPointSize(2) + 1);
    for (int i = 0; i < 4; ++i) {
        wea_wek[i]->setFont(forecastFont);
        wea_degree[i]->setFont(forecastFont);
    }
    QFont degreeFont(QStringLiteral("Arial"));
    degreeFont.setPointSize(fontPointSize(4) * 2);
    wea_td_degree->setFont(degreeFont);
    wea_frame[3]->hide();
    frameNews->hide();

    applyStyleSheet(QStringLiteral("wid_pagehome"), {this}, "Can't open the qss file of pagehome.");

    CWeather* weather = CWeather::instance(false).get();
    connect(weather, &CWeather::weaDataReady, this, &PageHome::setWeather);
    if (auto* window = qobject_cast<CWindowBase*>(parent)) {
        connect(window, &CWindowBase::windowMoving, news_pic, &CPicSlider::pause);
        connect(window, &CWindowBase::windowMoved, news_pic, &CPicSlider::start);
    }

    todayDegreeTemplate = QStringLiteral(
        "<html><head/><body><p>%1<span style=\" vertical-align:super;\">o</span></p></body></html>");
    todayInfoTemplate = QStringLiteral("<html><head/><body><p><span style=\" "
                                       "font-size:verylarge;\">%1&nbsp;&nbsp;&nbsp;</span><span style=\" "
                                       "font-size:large;\">%2&nbsp;&nbsp;&nbsp;%3</span></p></body></html>")
                            .replace(QStringLiteral("font-size:verylarge"),
                                     QStringLiteral("font-size:%1pt").arg(fontPointSize(4)))
                            .replace(QStringLiteral("font-size:large"),
                                     QStringLiteral("font-size:%1pt").arg(fontPointSize(3)));
    weekTemplate = QStringLiteral("<html><head/><body><p>%1</p></body></html>");
    degreeTemplate = QStringLiteral(
        "<html><head/><body><p>%1<span style=\" vertical-align:super;\">o</span>C</p></body></html>");

    // The cached forecast is part of the first frame; asking the services
    // waits until that frame is on screen.
    weather->loadLocalData();
    FirstPaintWatcher::runAfterFirstPaint(this, [] { CWeather::instance()->startLocate(); });
}

void PageHome::setupUi()
{
    setObjectName(QStringLiteral("PageHome"));
    resize(820, 540);
    setMinimumSize(820, 540);

    pageHomeHLayout = new QHBoxLayout(this);
    pageHomeHLayout->setObjectName(QStringLiteral("pageHomeHLayout"));
    pageHomeHLayout->setSpacing(0);
    pageHomeHLayout->setContentsMargins(0, 0, 0, 0);

    verticalLayout = new QVBoxLayout();
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setContentsMargins(56, 44, 40, 40);
    frameWeather = new QFrame(this);
    frameWeather->setObjectName(QStringLiteral("frameWeather"));
    auto* weatherLayout = new QVBoxLayout(frameWeather);
    weatherLayout->setContentsMargins(0, 0, 0, 0);
    weatherLayout->setSpacing(6);

    auto* todayRow = new QHBoxLayout();
    todayRow->setSpacing(18);
    wea_td_icon = makeLabel(frameWeather, QStringLiteral("wea_td_icon"), Qt::AlignCenter);
    wea_td_icon->setFixedSize(96, 96);
    wea_td_icon->setScaledContents(true);
    wea_td_degree =
        makeLabel(frameWeather, QStringLiteral("wea_td_degree"), Qt::AlignLeft | Qt::AlignVCenter);
    wea_td_degree->setText(QString::fromUtf8(kInitialDegree));
    todayRow->addWidget(wea_td_icon);
    todayRow->addWidget(wea_td_degree);
    todayRow->addStretch(1);
    weatherLayout->addLayout(todayRow);

    wea_td_info = makeLabel(frameWeather, QStringLiteral("wea_td_info"), Qt::AlignLeft | Qt::AlignVCenter);
    wea_td_info->setText(QString::fromUtf8(kInitialInfo));
    weatherLayout->addWidget(wea_td_info);
    weatherLayout->addSpacing(28);

    auto* forecastRow = new QHBoxLayout();
    forecastRow->setSpacing(14);
    for (int i = 0; i < 4; ++i) {
        const QString n = QString::number(i + 1);
        wea_frame[i] = new QFrame(frameWeather);
        wea_frame[i]->setObjectName(QStringLiteral("wea_frame") + n);
        wea_frame[i]->setFixedSize(112, 140);
        auto* column = new QVBoxLayout(wea_frame[i]);
        column->setContentsMargins(0, 10, 0, 10);
        column->setSpacing(4);
        wea_wek[i] = makeLabel(wea_frame[i], QStringLiteral("wea_f%1_wek").arg(n), Qt::AlignCenter);
        wea_wek[i]->setText(QString::fromUtf8(kInitialWeek));
        wea_icon[i] = makeLabel(wea_frame[i], QStringLiteral("wea_f%1_icon").arg(n), Qt::AlignCenter);
        wea_icon[i]->setFixedSize(48, 48);
        wea_icon[i]->setScaledContents(true);
        wea_degree[i] = makeLabel(wea_frame[i], QStringLiteral("wea_f%1_degree").arg(n), Qt::AlignCenter);
        wea_degree[i]->setText(QString::fromUtf8(kInitialForecastDegree));
        column->addWidget(wea_wek[i]);
        column->addWidget(wea_icon[i], 0, Qt::AlignHCenter);
        column->addWidget(wea_degree[i]);
        forecastRow->addWidget(wea_frame[i]);
    }
    forecastRow->addStretch(1);
    weatherLayout->addLayout(forecastRow);
    weatherLayout->addStretch(1);
    verticalLayout->addWidget(frameWeather);
    pageHomeHLayout->addLayout(verticalLayout, 3);

    verticalLayout_2 = new QVBoxLayout();
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setContentsMargins(0, 44, 40, 40);
    frameNews = new QFrame(this);
    frameNews->setObjectName(QStringLiteral("frameNews"));
    auto* newsLayout = new QVBoxLayout(frameNews);
    newsLayout->setContentsMargins(0, 0, 0, 0);
    news_title = makeLabel(frameNews, QStringLiteral("news_title"), Qt::AlignLeft | Qt::AlignVCenter);
    news_title->setText(QStringLiteral("<html><head/><body><p>公告栏</p></body></html>"));
    news_pic = new CPicSlider(frameNews);
    news_pic->setObjectName(QStringLiteral("news_pic"));
    news_pic->setMinimumSize(300, 180);
    news_news = new CNewsList(frameNews);
    news_news->setObjectName(QStringLiteral("news_news"));
    newsLayout->addWidget(news_title);
    newsLayout->addWidget(news_pic);
    newsLayout->addWidget(news_news, 1);
    verticalLayout_2->addWidget(frameNews);
    pageHomeHLayout->addLayout(verticalLayout_2, 2);
}

QLabel* PageHome::forecastWeekLabel(int frame) const
{
    return wea_wek[frame - 1];
}

QLabel* PageHome::forecastIconLabel(int frame) const
{
    return wea_icon[frame - 1];
}

QLabel* PageHome::forecastDegreeLabel(int frame) const
{
    return wea_degree[frame - 1];
}

void PageHome::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    // A plain widget draws its style-sheet background only through the style.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void PageHome::getWeather()
{
    CWeather::instance(false)->startLocate();
}

void PageHome::setWeather()
{
    const WeatherData& data = CWeather::instance(false)->weatherData();
    const QString date = data.updateTime.toString(QStringLiteral("yyyy/M/d"));
    if (!data.days.isEmpty()) {
        const ForecastDay& today = data.days.first();
        const QPixmap icon = CWeather::iconPixmap(today.weather);
        if (!icon.isNull()) {
            wea_td_icon->setPixmap(icon);
        }
        wea_td_degree->setText(todayDegreeTemplate.arg(CWeather::temperatureText(today)));
        // The city comes from the weather answer: escaped, it stays text.
        wea_td_info->setText(
            todayInfoTemplate.arg(data.city.toHtmlEscaped(), CWeather::weekDayName(today), date));
    }
    for (int i = 1; i < 4 && i < data.days.size(); ++i) {
        const ForecastDay& day = data.days.at(i);
        wea_wek[i - 1]->setText(weekTemplate.arg(CWeather::weekDayName(day)));
        const QPixmap icon = CWeather::iconPixmap(day.weather);
        if (!icon.isNull()) {
            wea_icon[i - 1]->setPixmap(icon);
        }
        wea_degree[i - 1]->setText(degreeTemplate.arg(CWeather::temperatureText(day)));
    }
}
