#pragma once

#include <QString>

#include <functional>

// The signed-in user as the conference side sees it: whether someone is
// signed in and the name to show others. The login manager owns that state
// and answers through the provider it installs here.
class CSignedInUser
{
public:
    static bool isSignedIn();
    // The profile name (CLoginInfo's without a provider), or "Guest" when
    // the profile has none.
    static QString displayName();

    using SignedIn = std::function<bool()>;
    using ProfileName = std::function<QString()>;
    static void setProvider(SignedIn signedIn, ProfileName profileName);
};
