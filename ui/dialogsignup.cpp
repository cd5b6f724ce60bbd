#include "ui/dialogsignup.h"

#include "ui/dialogplacement.h"
#include "ui/placeholderdialog.h"

#include <QPushButton>

DialogSignup::DialogSignup(QWidget* parent) : QDialog(parent)
{
    buildPlaceholderDialog(this, "DialogSignup", QSize(426, 450), tr("用户注册"));
    connect(addPlaceholderLink(this, 0, tr("已有账号,去登录")), &QPushButton::clicked, this, [this] {
        close();
        emit loginBtnClicked();
    });
}

void DialogSignup::relocateToCenter()
{
    centerOnParent(this);
}
