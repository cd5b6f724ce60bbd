#include "standins/localservice/signedcalls.h"

const QVector<SignedCalls::Call>& SignedCalls::all()
{
    static const QVector<Call> calls = {
        {"authCodeByPassword",
         Version::A,
         {"account", "appCode", "clientIp", "deviceId", "keyVersion", "password"}},
        {"authCodeBySmsCode",
         Version::A,
         {"account", "appCode", "clientIp", "deviceId", "phoneCode", "type"}},
        {"tokenFromAuthCode", Version::A, {"appCode", "authCode", "clientIp", "deviceId"}},
        {"validateToken", Version::A, {"accessToken", "appCode", "clientIp", "deviceId"}},
        {"companyList", Version::B, {"__accesstoken", "__appcode"}},
        {"personDetail", Version::B, {"__accesstoken", "__appcode", "targetAccountId"}},
        {"accessTicket", Version::A, {"accessToken", "appCode", "clientIp", "deviceId"}},
        {"logout", Version::A, {"accessToken", "appCode", "clientIp", "deviceId"}},
        {"sendSmsCode", Version::A, {"account", "appCode", "clientIp", "deviceId", "type"}},
        {"preCreateAccount", Version::A, {"account", "appCode", "clientIp", "deviceId", "verificationCode"}},
        {"joinInvitingCompany", Version::B, {"__accesstoken", "__appcode", "clientIp", "deviceId"}},
        {"resetPassword",
         Version::A,
         {"__accesstoken", "__appcode", "appCode", "clientIp", "deviceId", "newPassword"}},
        {"changePassword",
         Version::A,
         {"__accesstoken", "__appcode", "account", "appCode", "clientIp", "deviceId", "newPassword",
          "oldPassword"}},
        {"modifyProfile", Version::B, {"__accesstoken", "__appcode", "clientIp", "deviceId", "personJson"}},
        {"conferenceConfig", Version::A, {"configKey"}},
    };
    return calls;
}

const SignedCalls::Call* SignedCalls::find(const QString& role)
{
    for (const Call& call : all()) {
        if (call.role == role) {
            return &call;
        }
    }
    return nullptr;
}
