#include "ui/pageprint.h"

#include "ui/placeholderpage.h"

PagePrint::PagePrint(QWidget* parent) : QWidget(parent)
{
    buildPlaceholderPage(this, "PagePrint", tr("在线打印"));
}
