#include "ui/dialogfindpassword.h"

#include "ui/dialogplacement.h"
#include "ui/placeholderdialog.h"

#include <QPushButton>

DialogFindPassword::DialogFindPassword(QWidget* parent) : QDialog(parent)
{
    buildPlaceholderDialog(this, "DialogFindPassword", QSize(426, 450), tr("找回密码"));
    connect(addPlaceholderLink(this, 0, tr("返回登录")), &QPushButton::clicked, this, [this] {
        close();
        emit loginBtnClicked();
    });
}

void DialogFindPassword::relocateToCenter()
{
    centerOnParent(this);
}
