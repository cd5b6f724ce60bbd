#include "ui/accountdialog.h"

#include "ui/dialogplacement.h"
#include "ui/formwidgets.h"
#include "ui/screenscale.h"

#include <QFrame>
#include <QPushButton>

AccountDialog::AccountDialog(QWidget* parent) : QDialog(parent) {}

void AccountDialog::relocateToCenter()
{
    centerOnParent(this);
}

void AccountDialog::setupShell(const char* objectName)
{
    setObjectName(QLatin1String(objectName));
    resize(426, 450);
    setWindowTitle(tr("登录Vantelor"));
    setFont(FormWidgets::dialogFont());
}

QFrame* AccountDialog::addContentFrame()
{
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("frameContent"));
    frame->setGeometry(0, 50, 426, 400);
    return frame;
}

QPushButton* AccountDialog::addCloseButton(const char* objectName)
{
    QPushButton* button = FormWidgets::button(this, objectName, QRect(394, 0, 32, 56));
    button->setToolTip(tr("关闭"));
    connect(button, &QPushButton::clicked, this, &AccountDialog::close);
    return button;
}

void AccountDialog::becomeChildDialog(bool modal)
{
    setWindowFlags(Qt::FramelessWindowHint);
    if (modal) {
        setModal(true);
    }
    setWindowModality(Qt::WindowModal);
    relocateToCenter();
}

void AccountDialog::setFonts(const QFont& base, int sizeClass, std::initializer_list<QWidget*> widgets)
{
    QFont font = base;
    font.setPointSize(fontPointSize(sizeClass));
    for (QWidget* widget : widgets) {
        widget->setFont(font);
    }
}
