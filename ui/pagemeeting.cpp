#include "ui/pagemeeting.h"

#include "ui/placeholderpage.h"

#include <QStackedWidget>

PageMeeting::PageMeeting(QStackedWidget*, QWidget* parent) : QWidget(parent)
{
    buildPlaceholderPage(this, "PageMeeting", tr("视频会议"));
}
