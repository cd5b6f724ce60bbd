#pragma once

class QEvent;
class QLineEdit;
class QObject;
class QString;
class QValidator;

// Input rules shared by the registration and find-password dialogs.
namespace PasswordField {
// Phone numbers, SMS codes and new passwords (printable ASCII, no blank).
extern const char* const kPhonePattern;
extern const char* const kVerCodePattern;
extern const char* const kNewPasswordPattern;

// A validator for pattern. The line edit asks it for every change, typed or
// pasted, and refuses a change that cannot lead to a match; shorter text may
// stand while typing.
QValidator* validator(const char* pattern, QObject* parent);

// Switches the input method off (these fields take ASCII only) and makes
// filter the field's event filter.
void prepareField(QLineEdit* field, QObject* filter);

// Return or Enter let go: the dialogs act on the release, not the press.
bool isReturnRelease(const QEvent* event);

// The check of a new password typed twice. Writes the reason for a no into
// tip (translated in context), or clears it; true when the password may be sent.
bool checkNewPassword(const QString& first, const QString& second, const char* context, QString& tip);
} // namespace PasswordField
