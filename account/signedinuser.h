#pragma once

#include <QString>

#include <functional>

// The signed-in user as the conference side sees it: whether someone is
// signed in and the name to show others. The login manager owns the signed-in
// state and answers through the provider it installs here; the name comes
// from the signed-in user record.
class CSignedInUser
{
public:
    static bool isSignedIn();
    // The record's name, or "Guest" when it has none.
    static QString displayName();

    using SignedIn = std::function<bool()>;
    static void setProvider(SignedIn signedIn);
};
