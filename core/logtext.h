#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Texts bound for the log. Secrets (tickets, tokens, print information) are
// shown by their first characters and length only, so a log file handed to
// support cannot replay a session; text from outside is bounded and escaped,
// so a peer can neither flood the file nor forge lines in it.
namespace LogText {

// "abcd…(36)": the first 4 characters and the length; short values show none.
QString masked(const QString& secret);
// The address with the values of its ticket and token query items masked.
QString maskedUrl(const QUrl& url);
// The JSON text with every string value masked (keys and structure kept);
// text that is not JSON is masked whole.
QString maskedJson(const QByteArray& json);
// Ticket and token values in free text ("SSO_TICKET=…", "\"token\":\"…\"") masked.
QString maskedInText(const QString& text);
// At most maxChars characters, control characters escaped, the cut counted.
QString excerpt(const QString& text, int maxChars = 300);

} // namespace LogText
