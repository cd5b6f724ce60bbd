#include "ui/placeholderpage.h"

#include "ui/screenscale.h"

#include <QLabel>
#include <QVBoxLayout>

void buildPlaceholderPage(QWidget* page, const char* objectName, const QString& caption)
{
    page->setObjectName(QLatin1String(objectName));
    page->resize(820, 540);
    page->setMinimumSize(820, 540);
    auto* layout = new QVBoxLayout(page);
    auto* label = new QLabel(caption, page);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setPointSize(fontPointSize(4));
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: rgb(180,180,180);"));
    layout->addWidget(label);
}
