#pragma once

#include <QWidget>

// The print page: how to print through the client's printer driver.
class PagePrint : public QWidget
{
    Q_OBJECT
public:
    explicit PagePrint(QWidget* parent = nullptr);
};
