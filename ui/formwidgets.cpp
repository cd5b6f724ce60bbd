#include "ui/formwidgets.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

namespace FormWidgets {
QFont dialogFont()
{
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QLabel* label(QWidget* parent, const char* name, const QRect& geometry, const QString& text,
              Qt::Alignment alignment)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

QLabel* messageLabel(QWidget* parent, const char* name, const QRect& geometry)
{
    QLabel* made = label(parent, name, geometry);
    made->setTextFormat(Qt::PlainText);
    return made;
}

QLabel* caption(QWidget* parent, const char* name, const QRect& geometry, const QString& text)
{
    return label(parent, name, geometry, text, Qt::AlignRight | Qt::AlignVCenter);
}

QLineEdit* edit(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(geometry);
    return edit;
}

QLineEdit* passwordEdit(QWidget* parent, const char* name, const QRect& geometry)
{
    QLineEdit* field = edit(parent, name, geometry);
    field->setEchoMode(QLineEdit::Password);
    field->setMaxLength(32);
    return field;
}

QPushButton* button(QWidget* parent, const char* name, const QRect& geometry, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QWidget* page(QStackedWidget* stack, const char* name)
{
    auto* page = new QWidget();
    page->setObjectName(QLatin1String(name));
    stack->addWidget(page);
    return page;
}
} // namespace FormWidgets
