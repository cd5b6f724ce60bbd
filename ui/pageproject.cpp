#include "ui/pageproject.h"

#include "ui/placeholderpage.h"

PageProject::PageProject(QWidget* parent) : QWidget(parent)
{
    buildPlaceholderPage(this, "PageProject", tr("无线投屏"));
}
