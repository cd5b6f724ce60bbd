#pragma once

#include <QWidget>

// The home page: weather of the PC's city and the next days.
class PageHome : public QWidget
{
    Q_OBJECT
public:
    explicit PageHome(QWidget* parent = nullptr);
};
