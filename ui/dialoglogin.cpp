#include "ui/dialoglogin.h"

#include "ui/dialogplacement.h"
#include "ui/placeholderdialog.h"

#include <QPushButton>

DialogLogin::DialogLogin(QWidget* parent) : QDialog(parent)
{
    buildPlaceholderDialog(this, "DialogLogin", QSize(426, 450), tr("登录Vantelor"));
    connect(addPlaceholderLink(this, 0, tr("用户注册")), &QPushButton::clicked, this, [this] {
        close();
        emit signupBtnClicked();
    });
    connect(addPlaceholderLink(this, 1, tr("找回密码")), &QPushButton::clicked, this, [this] {
        close();
        emit findPswBtnClicked();
    });
}

void DialogLogin::relocateToCenter()
{
    centerOnParent(this);
}
