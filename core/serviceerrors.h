#pragma once

// The error codes ("errorCode") of the service answers that the client acts
// on, and the message texts ("errorMsg") it recognises where an answer is told
// apart by its text. The local service answers with the same constants, so the
// two cannot drift apart. Texts are UTF-8.
namespace ServiceErrors {
// Sign-in by password.
constexpr char kAccountLocked[] = "1012";
constexpr char kWrongPassword[] = "1200";
constexpr char kSmsSignInFirst[] = "1201";

// The session was ended by a sign-in on another device; the ticket renewal
// signs the user out on either the code or the text.
constexpr char kSessionKicked[] = "1209";
constexpr char kSessionKickedText[] = "accessToken被踢出";

// No such account, or not activated yet: the login dialog asks to register.
constexpr char kUnknownAccount[] = "1001";
constexpr char kUnknownAccountText[] = "账号不存在或未激活";

// The old password of a change did not match: shown as the old one's failure.
constexpr char kPasswordCheckFailed[] = "1203";
constexpr char kPasswordCheckFailedText[] = "密码验证失败";

// Not a service's: the projection's own code for a code that reached no
// receiver in time (code wrong or the VPN down), shown as its own tip.
constexpr char kProjectionNotReached[] = "5001";
} // namespace ServiceErrors
