#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// One day of the forecast as the weather service sent it.
struct ForecastDay
{
    QDateTime date;    // the day, 00:00
    QString dayTemp;   // whole degrees as text, may be empty
    QString nightTemp; // likewise
    QString weather;   // Chinese weather phrase, day or else night
};

// The forecast shown on the home page: days in the service's order.
struct WeatherData
{
    QList<ForecastDay> days;
    QString city;
    QDateTime updateTime;
};
