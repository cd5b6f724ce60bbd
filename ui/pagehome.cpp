#include "ui/pagehome.h"

#include "ui/placeholderpage.h"

PageHome::PageHome(QWidget* parent) : QWidget(parent)
{
    buildPlaceholderPage(this, "PageHome", tr("首页"));
}
