#include "account/signedinuser.h"

#include "account/logininfo.h"

namespace {
CSignedInUser::SignedIn& signedInProvider()
{
    static CSignedInUser::SignedIn provider;
    return provider;
}
} // namespace

bool CSignedInUser::isSignedIn()
{
    return signedInProvider() && signedInProvider()();
}

QString CSignedInUser::displayName()
{
    const QString name = CLoginInfo::instance()->name;
    return name.isEmpty() ? QStringLiteral("Guest") : name;
}

void CSignedInUser::setProvider(SignedIn signedIn)
{
    signedInProvider() = std::move(signedIn);
}
