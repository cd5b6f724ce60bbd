#pragma once

#include <QWidget>

class QStackedWidget;

// The office and mail web application.
// Its tool bar goes into the main window's tool area (tools).
class PageMail : public QWidget
{
    Q_OBJECT
public:
    PageMail(QStackedWidget* tools, QWidget* parent = nullptr);

signals:
    // The tool page of the main window's tool area to show, -1 for none.
    void showToolsPage(int pageIndex);
};
