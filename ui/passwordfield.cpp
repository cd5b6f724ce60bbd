#include "ui/passwordfield.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace PasswordField {
const char* const kPhonePattern = "^1[0-9]{10}$";
const char* const kVerCodePattern = "^[0-9]{6}$";
const char* const kNewPasswordPattern = "^[!-~]{8,18}$";

QValidator* validator(const char* pattern, QObject* parent)
{
    return new QRegularExpressionValidator(QRegularExpression(QLatin1String(pattern)), parent);
}

void prepareField(QLineEdit* field, QObject* filter)
{
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->installEventFilter(filter);
}

bool isReturnRelease(const QEvent* event)
{
    if (event->type() != QEvent::KeyRelease) {
        return false;
    }
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool checkNewPassword(const QString& first, const QString& second, const char* context, QString& tip)
{
    tip.clear();
    if (first.isEmpty() || second.isEmpty()) {
        return false;
    }
    if (first != second) {
        tip = QCoreApplication::translate(context, "两次输入的密码不一致");
    } else if (first.size() < 8) {
        tip = QCoreApplication::translate(context, "密码不能少于8位");
    } else if (first.size() > 18) {
        tip = QCoreApplication::translate(context, "密码不能大于18位");
    }
    return tip.isEmpty();
}
} // namespace PasswordField
