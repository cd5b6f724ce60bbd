#include "conference/signedinuser.h"

#include "account/logininfo.h"

namespace {
CSignedInUser::SignedIn& signedInProvider()
{
    static CSignedInUser::SignedIn provider;
    return provider;
}

CSignedInUser::ProfileName& profileNameProvider()
{
    static CSignedInUser::ProfileName provider;
    return provider;
}
} // namespace

bool CSignedInUser::isSignedIn()
{
    return signedInProvider() && signedInProvider()();
}

QString CSignedInUser::displayName()
{
    const QString name = profileNameProvider() ? profileNameProvider()() : CLoginInfo::instance()->name;
    return name.isEmpty() ? QStringLiteral("Guest") : name;
}

void CSignedInUser::setProvider(SignedIn signedIn, ProfileName profileName)
{
    signedInProvider() = std::move(signedIn);
    profileNameProvider() = std::move(profileName);
}
