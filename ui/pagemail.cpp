#include "ui/pagemail.h"

#include "ui/placeholderpage.h"

#include <QStackedWidget>

PageMail::PageMail(QStackedWidget*, QWidget* parent) : QWidget(parent)
{
    buildPlaceholderPage(this, "PageMail", tr("办公邮件"));
}
