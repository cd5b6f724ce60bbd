#include "standins/localservice/signedapi.h"

#include "standins/localservice/httputil.h"
#include "standins/localservice/localservice.h"
#include "standins/localservice/servicelog.h"
#include "standins/localservice/signatureverifier.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

SignedApi::SignedApi(LocalService& service) : m_service(service)
{
    for (const SignedCalls::Call& call : SignedCalls::all()) {
        const QString path = service.deployment().basePath + service.deployment().paths.value(call.role);
        service.route("POST", path, call.role,
                      [this, &call](const httplib::Request& req, httplib::Response& res, qint64 seq) {
                          return handle(call, req, res, seq);
                      });
    }
}

QString SignedApi::handle(const SignedCalls::Call& call, const httplib::Request& req, httplib::Response& res,
                          qint64 seq)
{
    SignatureVerifier::Headers headers;
    for (const auto& h : req.headers) {
        headers.insert(QByteArray::fromStdString(h.first).toLower(), QByteArray::fromStdString(h.second));
    }
    FormBody form;
    const SignatureVerifier::Verdict verdict =
        m_service.verifier().verify(call, m_service.deployment().paths.value(call.role), headers,
                                    HttpUtil::body(req), form, m_service.nowMs());
    QJsonArray fields;
    for (const FormBody::Field& f : form.fields()) {
        fields.append(QJsonArray{f.name, f.value});
    }
    m_service.journal().setForm(seq, fields);

    if (!verdict.ok) {
        Answer refusal = Answer::fail(verdict.errorCode, "请求校验失败: " + verdict.reason);
        refusal.hasTimeOffset = verdict.clockSkew;
        refusal.timeOffset = verdict.timeOffset;
        ServiceLog::write(QString("refused %1: %2").arg(call.role, verdict.reason));
        HttpUtil::sendJson(res, refusal.toJson());
        return "refused: " + verdict.reason;
    }
    const Answer answer = dispatch(call.role, form, HttpUtil::origin(req));
    HttpUtil::sendJson(res, answer.toJson());
    if (answer.success) {
        return "accepted";
    }
    ServiceLog::write(QString("%1 failed: %2 %3").arg(call.role, answer.errorCode, answer.errorMsg));
    return "failed: " + answer.errorCode + " " + answer.errorMsg;
}

Answer SignedApi::dispatch(const QString& role, const FormBody& form, const QString& origin)
{
    AccountStore& accounts = m_service.accounts();
    const auto v = [&form](const char* name) { return form.value(QString::fromLatin1(name)); };

    if (role == "authCodeByPassword") {
        QByteArray phone;
        QByteArray password;
        if (!m_service.credentials().decrypt(v("account"), phone) ||
            !m_service.credentials().decrypt(v("password"), password)) {
            return Answer::fail("1300", "账号或密码无法解密");
        }
        return accounts.authCodeByPassword(QString::fromUtf8(phone), QString::fromUtf8(password));
    }
    if (role == "authCodeBySmsCode") {
        if (v("type") != "PHONECODE_LOGIN") {
            return Answer::fail("1305", "验证码类型不正确");
        }
        return accounts.authCodeBySmsCode(v("account"), v("phoneCode"));
    }
    if (role == "tokenFromAuthCode") {
        return accounts.token(v("authCode"));
    }
    if (role == "validateToken") {
        return accounts.validateToken(v("accessToken"));
    }
    if (role == "companyList") {
        return accounts.companyList(v("__accesstoken"));
    }
    if (role == "personDetail") {
        return accounts.personDetail(v("__accesstoken"), v("targetAccountId"), origin);
    }
    if (role == "accessTicket") {
        return accounts.accessTicket(v("accessToken"));
    }
    if (role == "logout") {
        return accounts.logout(v("accessToken"));
    }
    if (role == "sendSmsCode") {
        return accounts.sendSmsCode(v("account"), v("type"));
    }
    if (role == "preCreateAccount") {
        return accounts.preCreateAccount(v("account"), v("verificationCode"));
    }
    if (role == "joinInvitingCompany") {
        return accounts.joinInvitingCompany(v("__accesstoken"));
    }
    if (role == "resetPassword") {
        return accounts.resetPassword(v("__accesstoken"), v("newPassword"));
    }
    if (role == "changePassword") {
        return accounts.changePassword(v("__accesstoken"), v("account"), v("oldPassword"), v("newPassword"));
    }
    if (role == "modifyProfile") {
        return accounts.modifyProfile(v("__accesstoken"), v("personJson"));
    }
    if (role == "conferenceConfig") {
        if (v("configKey") != "vcAppConfig") {
            return Answer::fail("1400", "配置项不存在");
        }
        const QJsonObject config = m_service.seed().value("conference").toObject();
        const QJsonObject content{{"clientAppId", config.value("clientAppId").toString()},
                                  {"clientAppKey", config.value("clientAppKey").toString()}};
        return Answer::ok(QString::fromUtf8(QJsonDocument(content).toJson(QJsonDocument::Compact)));
    }
    return Answer::fail("404", "no such call");
}
