#pragma once

#include <QWidget>

// The projection page: one or two receiver codes and the start/stop button.
class PageProject : public QWidget
{
    Q_OBJECT
public:
    explicit PageProject(QWidget* parent = nullptr);
};
