#include "ui/dialogchangepassword.h"

#include "ui/dialogplacement.h"
#include "ui/placeholderdialog.h"

DialogChangePassword::DialogChangePassword(QWidget* parent) : QDialog(parent)
{
    buildPlaceholderDialog(this, "DialogChangePassword", QSize(426, 450), tr("修改密码"));
}

void DialogChangePassword::relocateToCenter()
{
    centerOnParent(this);
}
