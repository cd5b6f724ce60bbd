#include "ui/fontsubstitution.h"

#include <QFont>
#include <QString>

void installFontSubstitutions()
{
    const QString face = QStringLiteral("Noto Sans CJK SC");
    QFont::insertSubstitution(QStringLiteral("Microsoft YaHei"), face);
    QFont::insertSubstitution(QStringLiteral("微软雅黑"), face);
}
