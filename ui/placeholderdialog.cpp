#include "ui/placeholderdialog.h"

#include "ui/dialogplacement.h"
#include "ui/screenscale.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

void buildPlaceholderDialog(QDialog* dialog, const char* objectName, const QSize& size, const QString& title)
{
    dialog->setWindowFlags(Qt::FramelessWindowHint);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setObjectName(QLatin1String(objectName));
    dialog->setAttribute(Qt::WA_StyledBackground);
    dialog->setFocusPolicy(Qt::StrongFocus);
    dialog->resize(size);
    dialog->setWindowTitle(title);
    dialog->setFont(QFont(QStringLiteral("Microsoft YaHei")));
    dialog->setStyleSheet(QStringLiteral("#%1{background-color: white; border-radius: 4px;}"
                                         "QLabel{color: rgb(100,100,100);}"
                                         "QPushButton{border: none; color: rgb(1,149,255);}"
                                         "#btnClose{border-image: url(:/wid/res/signup/btnClose.png);}")
                              .arg(QLatin1String(objectName)));

    auto* caption = new QLabel(title, dialog);
    caption->setAlignment(Qt::AlignCenter);
    caption->setGeometry(0, 0, size.width(), 45);
    QFont font = caption->font();
    font.setPointSize(fontPointSize(3));
    caption->setFont(font);

    auto* logo = new QLabel(dialog);
    logo->setPixmap(QPixmap(QStringLiteral(":/wid/res/login/logo_login.png")));
    logo->setGeometry((size.width() - 130) / 2, 110, 130, 80);

    auto* close = new QPushButton(dialog);
    close->setObjectName(QStringLiteral("btnClose"));
    close->setGeometry(size.width() - 30, 15, 14, 14);
    close->setToolTip(QObject::tr("关闭"));
    close->setCursor(Qt::PointingHandCursor);
    close->setFocusPolicy(Qt::NoFocus);
    QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::reject);

    centerOnParent(dialog);
}

QPushButton* addPlaceholderLink(QDialog* dialog, int slot, const QString& text)
{
    auto* link = new QPushButton(text, dialog);
    link->setGeometry(40 + slot * 120, dialog->height() - 60, 100, 24);
    link->setCursor(Qt::PointingHandCursor);
    link->setFocusPolicy(Qt::NoFocus);
    link->setAutoDefault(false);
    return link;
}
