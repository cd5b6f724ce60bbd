#include "ui/dialoginput.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace DialogInput {
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
} // namespace DialogInput
