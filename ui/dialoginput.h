#pragma once

class QEvent;
class QLineEdit;
class QObject;
class QString;
class QValidator;

// What every account dialog does with its input fields.
namespace DialogInput {
// The patterns of phone numbers, SMS codes and new passwords.
extern const char* const kPhonePattern;
extern const char* const kVerCodePattern;
extern const char* const kNewPasswordPattern;

// A validator that lets only text matching pattern be typed or pasted.
QValidator* validator(const char* pattern, QObject* parent);

// Switches the input method off (phone numbers, codes and passwords are
// ASCII) and makes filter the field's event filter.
void prepareField(QLineEdit* field, QObject* filter);

// Return or Enter let go: the dialogs act on the release, not the press.
bool isReturnRelease(const QEvent* event);
} // namespace DialogInput
