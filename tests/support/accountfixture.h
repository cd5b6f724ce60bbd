#pragma once

#include "support/localserviceprocess.h"

#include <QJsonArray>
#include <QString>

#include <memory>

// The account managers against a local service of the test's own: starts it,
// points the client's deployment at it, and gives every case fresh managers
// and a fresh service state.
namespace AccountFixture {
// Starts the service and loads its deployment; false when either fails.
bool start(std::unique_ptr<LocalServiceProcess>& service);
// Seeded state again, all account singletons released, fixed device identity.
bool reset(LocalServiceProcess& service);
// The recorded requests of endpoint.
int requestCount(LocalServiceProcess& service, const QString& endpoint);
// The analytics event names received so far.
QStringList eventNames(LocalServiceProcess& service);
// The tag the tracker gives a signed-in phone.
QString userTag(const QString& phone);
// The name of the account the service issued the access token to (asked
// with a token validation), or a text saying there is none.
QString accountNameOfToken(LocalServiceProcess& service, const QString& token);
// Signs the demo account in by password and waits for it; false when it does
// not sign in, or when the print bridge cannot listen (port 6668 taken).
bool signInWithPrintBridge();
} // namespace AccountFixture
