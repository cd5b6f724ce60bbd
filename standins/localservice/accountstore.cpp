#include "standins/localservice/accountstore.h"
#include "platform/jsontext.h"

#include "standins/localservice/servicelog.h"

#include "core/serviceerrors.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

namespace {
const qint64 kAuthCodeLifeMs = 5 * 60 * 1000;
const qint64 kSmsCodeLifeMs = 5 * 60 * 1000;
const qint64 kTokenLifeSeconds = 7200;
const qint64 kTicketLifeMs = 30 * 60 * 1000;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString randomText(const QString& prefix, int bytes)
{
    QByteArray raw(bytes, '\0');
    for (int i = 0; i < bytes; ++i) {
        raw[i] = char(QRandomGenerator::global()->bounded(256));
    }
    return prefix + QString::fromLatin1(raw.toHex());
}

bool validPhone(const QString& phone)
{
    static const QRegularExpression form("^1[0-9]{10}$");
    return form.match(phone).hasMatch();
}

bool validNewPassword(const QString& password)
{
    static const QRegularExpression form("^[!-~]{8,18}$");
    return form.match(password).hasMatch();
}
} // namespace

void AccountStore::load(const QJsonObject& seed, const QString& stateFile)
{
    QJsonArray kept;
    QFile in(stateFile);
    if (!stateFile.isEmpty() && in.open(QIODevice::ReadOnly)) {
        kept = QJsonDocument::fromJson(in.readAll()).object().value("accounts").toArray();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_seed = seed;
    m_stateFile = stateFile;
    resetLocked();
    if (!kept.isEmpty()) {
        m_accounts.clear();
        for (const QJsonValue& v : kept) {
            m_accounts.append(accountFromJson(v.toObject()));
        }
        ServiceLog::write(
            QString("accounts: %1 accounts read from %2").arg(m_accounts.size()).arg(stateFile));
    }
    save();
}

void AccountStore::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    resetLocked();
    save();
}

void AccountStore::resetLocked()
{
    m_companyNames.clear();
    for (const QJsonValue& v : m_seed.value("companies").toArray()) {
        const QJsonObject c = v.toObject();
        m_companyNames.insert(c.value("companyId").toVariant().toLongLong(), c.value("name").toString());
    }
    m_registrationCompanyId = m_seed.value("registrationCompanyId").toVariant().toLongLong();
    m_accounts.clear();
    for (const QJsonValue& v : m_seed.value("accounts").toArray()) {
        m_accounts.append(accountFromJson(v.toObject()));
    }
    m_sessions.clear();
    m_authCodes.clear();
    m_tickets.clear();
    m_smsCodes.clear();
}

AccountStore::Account AccountStore::accountFromJson(const QJsonObject& o)
{
    Account a;
    a.id = o.value("id").toVariant().toLongLong();
    a.phone = o.value("phone").toString();
    a.password = o.value("password").toString();
    a.state = o.value("state").toString("active");
    a.name = o.value("name").toString();
    a.avatar = o.value("avatar").toString();
    a.profile = o.value("profile").toObject();
    a.pendingInvitation = o.value("pendingInvitation").toBool();
    for (const QJsonValue& v : o.value("companies").toArray()) {
        const QJsonObject m = v.toObject();
        a.companies.append({m.value("companyId").toVariant().toLongLong(), m.value("isDefault").toBool()});
    }
    return a;
}

QJsonObject AccountStore::accountJson(const Account& a) const
{
    QJsonArray companies;
    for (const Membership& m : a.companies) {
        companies.append(QJsonObject{{"companyId", m.companyId},
                                     {"name", m_companyNames.value(m.companyId)},
                                     {"isDefault", m.isDefault}});
    }
    return QJsonObject{
        {"id", a.id},           {"phone", a.phone},       {"password", a.password},
        {"state", a.state},     {"name", a.name},         {"avatar", a.avatar},
        {"profile", a.profile}, {"companies", companies}, {"pendingInvitation", a.pendingInvitation}};
}

void AccountStore::save() const
{
    if (m_stateFile.isEmpty()) {
        return;
    }
    QJsonArray all;
    for (const Account& a : m_accounts) {
        all.append(accountJson(a));
    }
    QSaveFile out(m_stateFile);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QJsonDocument(QJsonObject{{"accounts", all}}).toJson());
        out.commit();
    }
}

AccountStore::Account* AccountStore::findByPhone(const QString& phone)
{
    for (Account& a : m_accounts) {
        if (a.phone == phone) {
            return &a;
        }
    }
    return nullptr;
}

AccountStore::Account* AccountStore::findById(qint64 id)
{
    for (Account& a : m_accounts) {
        if (a.id == id) {
            return &a;
        }
    }
    return nullptr;
}

const AccountStore::Account* AccountStore::findById(qint64 id) const
{
    for (const Account& a : m_accounts) {
        if (a.id == id) {
            return &a;
        }
    }
    return nullptr;
}

AccountStore::Account* AccountStore::sessionAccount(const QString& accessToken, Answer& failure)
{
    const auto it = m_sessions.constFind(accessToken);
    if (accessToken.isEmpty() || it == m_sessions.cend() || it->expiresMs < nowMs()) {
        failure = Answer::fail("1208", "accessToken无效或已过期");
        return nullptr;
    }
    if (it->kicked) {
        failure = Answer::fail(ServiceErrors::kSessionKicked, ServiceErrors::kSessionKickedText);
        return nullptr;
    }
    Account* account = findById(it->accountId);
    if (!account) {
        failure = Answer::fail(ServiceErrors::kUnknownAccount, ServiceErrors::kUnknownAccountText);
    }
    return account;
}

QString AccountStore::newAuthCode(qint64 accountId)
{
    const QString code = randomText("AC", 12);
    m_authCodes.insert(code, {accountId, nowMs() + kAuthCodeLifeMs});
    return code;
}

bool AccountStore::takeSmsCode(const QString& phone, const QString& type, const QString& code)
{
    // Only the newest code of a phone and purpose counts, once.
    for (int i = m_smsCodes.size() - 1; i >= 0; --i) {
        SmsCode& sms = m_smsCodes[i];
        if (sms.phone != phone || sms.type != type) {
            continue;
        }
        if (sms.used || sms.code != code || sms.expiresMs < nowMs()) {
            return false;
        }
        sms.used = true;
        return true;
    }
    return false;
}

Answer AccountStore::authCodeByPassword(const QString& phone, const QString& password)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Account* a = findByPhone(phone);
    if (!a || a->state == "inactive") {
        return Answer::fail(ServiceErrors::kUnknownAccount, ServiceErrors::kUnknownAccountText);
    }
    if (a->state == "locked") {
        return Answer::fail(ServiceErrors::kAccountLocked, "当前账号已被锁定");
    }
    if (a->password.isEmpty() || a->password != password) {
        return Answer::fail(ServiceErrors::kWrongPassword, "手机号或密码错误");
    }
    if (a->state == "smsFirst") {
        return Answer::fail(ServiceErrors::kSmsSignInFirst, "请先使用验证码登录");
    }
    return Answer::ok(newAuthCode(a->id));
}

Answer AccountStore::sendSmsCode(const QString& phone, const QString& type)
{
    if (!validPhone(phone)) {
        return Answer::fail("1302", "手机号格式不正确");
    }
    if (type != "PHONECODE_LOGIN" && type != "ACCOUNT_CREATE") {
        return Answer::fail("1305", "验证码类型不正确");
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    const Account* a = findByPhone(phone);
    const bool registered = a && a->state != "inactive";
    if (type == "PHONECODE_LOGIN" && !registered) {
        return Answer::fail(ServiceErrors::kUnknownAccount, ServiceErrors::kUnknownAccountText);
    }
    if (type == "ACCOUNT_CREATE" && registered) {
        return Answer::fail("1301", "该手机号已注册");
    }
    SmsCode sms;
    sms.phone = phone;
    sms.type = type;
    sms.code = QString::number(QRandomGenerator::global()->bounded(100000, 1000000));
    sms.sentMs = nowMs();
    sms.expiresMs = sms.sentMs + kSmsCodeLifeMs;
    m_smsCodes.append(sms);
    if (m_smsCodes.size() > 1000) {
        m_smsCodes.removeFirst();
    }
    ServiceLog::writeSmsCode(phone, type, sms.code);
    return Answer::ok();
}

Answer AccountStore::authCodeBySmsCode(const QString& phone, const QString& code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Account* a = findByPhone(phone);
    if (!a || a->state == "inactive") {
        return Answer::fail(ServiceErrors::kUnknownAccount, ServiceErrors::kUnknownAccountText);
    }
    if (a->state == "locked") {
        return Answer::fail(ServiceErrors::kAccountLocked, "当前账号已被锁定");
    }
    if (!takeSmsCode(phone, "PHONECODE_LOGIN", code)) {
        return Answer::fail("1202", "登录验证失败");
    }
    if (a->state == "smsFirst") {
        a->state = "active";
        save();
    }
    return Answer::ok(newAuthCode(a->id));
}

Answer AccountStore::token(const QString& authCode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_authCodes.constFind(authCode);
    if (it == m_authCodes.cend() || it->expiresMs < nowMs()) {
        return Answer::fail("1204", "授权码无效或已过期");
    }
    const qint64 accountId = it->accountId;
    m_authCodes.remove(authCode);
    // One sign-in per account: a new token ends the sessions before it.
    for (auto s = m_sessions.begin(); s != m_sessions.end(); ++s) {
        if (s->accountId == accountId && !s->kicked) {
            s->kicked = true;
            ServiceLog::write(
                QString("accounts: account %1 signed in again; the previous session ends with 1209")
                    .arg(accountId));
        }
    }
    Session session;
    session.accountId = accountId;
    session.refreshToken = randomText("RT", 16);
    session.expiresMs = nowMs() + kTokenLifeSeconds * 1000;
    const QString accessToken = randomText("AT", 16);
    m_sessions.insert(accessToken, session);
    return Answer::ok(QJsonObject{{"accessToken", accessToken},
                                  {"refreshToken", session.refreshToken},
                                  {"validityTime", kTokenLifeSeconds},
                                  {"tokenType", "bearer"}});
}

Answer AccountStore::validateToken(const QString& accessToken)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Answer failure;
    const Account* a = sessionAccount(accessToken, failure);
    if (!a) {
        return failure;
    }
    const qint64 left = (m_sessions.value(accessToken).expiresMs - nowMs()) / 1000;
    return Answer::ok(QJsonObject{{"id", a->id}, {"account", a->phone}, {"validityTime", left}});
}

Answer AccountStore::companyList(const QString& accessToken)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Answer failure;
    const Account* a = sessionAccount(accessToken, failure);
    if (!a) {
        return failure;
    }
    QJsonArray list;
    for (const Membership& m : a->companies) {
        list.append(QJsonObject{{"companyId", m.companyId},
                                {"name", m_companyNames.value(m.companyId)},
                                {"isDefault", m.isDefault}});
    }
    return Answer::ok(list);
}

QJsonObject AccountStore::userJson(const Account& a) const
{
    QJsonArray companies;
    for (const Membership& m : a.companies) {
        companies.append(QJsonObject{{"companyId", m.companyId},
                                     {"name", m_companyNames.value(m.companyId)},
                                     {"isDefault", m.isDefault}});
    }
    QJsonObject o{{"id", a.id}, {"name", a.name}, {"phone", a.phone}, {"companies", companies}};
    if (a.profile.contains("email")) {
        o.insert("email", a.profile.value("email"));
    }
    return o;
}

Answer AccountStore::personDetail(const QString& accessToken, const QString& targetAccountId,
                                  const QString& origin)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Answer failure;
    if (!sessionAccount(accessToken, failure)) {
        return failure;
    }
    bool numeric = false;
    const Account* target = findById(targetAccountId.toLongLong(&numeric));
    if (!numeric || !target || target->state == "inactive") {
        return Answer::fail(ServiceErrors::kUnknownAccount, ServiceErrors::kUnknownAccountText);
    }
    QJsonObject person = target->profile;
    person.insert("id", target->id);
    person.insert("name", target->name);
    person.insert("mobile", target->phone);
    person.insert("avatarUrl", target->avatar.isEmpty()
                                   ? QString()
                                   : origin + "/static/avatar/" + QString::number(target->id) + ".png");
    for (const Membership& m : target->companies) {
        if (m.isDefault || !person.contains("companyId")) {
            person.insert("companyId", m.companyId);
            person.insert("companyName", m_companyNames.value(m.companyId));
        }
    }
    return Answer::ok(person);
}

Answer AccountStore::accessTicket(const QString& accessToken)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Answer failure;
    const Account* a = sessionAccount(accessToken, failure);
    if (!a) {
        return failure;
    }
    const qint64 now = nowMs();
    for (auto it = m_tickets.begin(); it != m_tickets.end();) {
        it = it->expiresMs < now ? m_tickets.erase(it) : std::next(it);
    }
    const QString ticket = randomText("ST-", 12);
    m_tickets.insert(ticket, {a->id, now + kTicketLifeMs});
    return Answer::ok(ticket);
}

Answer AccountStore::logout(const QString& accessToken)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Answer failure;
    if (!sessionAccount(accessToken, failure)) {
        return failure;
    }
    m_sessions.remove(accessToken);
    return Answer::ok();
}

Answer AccountStore::preCreateAccount(const QString& phone, const QString& code)
{
    if (!validPhone(phone)) {
        return Answer::fail("1302", "手机号格式不正确");
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    Account* a = findByPhone(phone);
    if (a && a->state != "inactive") {
        return Answer::fail("1301", "该手机号已注册");
    }
    if (!takeSmsCode(phone, "ACCOUNT_CREATE", code)) {
        return Answer::fail("1202", "登录验证失败");
    }
    if (!a) {
        Account created;
        for (const Account& other : m_accounts) {
            created.id = qMax(created.id, other.id);
        }
        created.id += 1;
        created.phone = phone;
        m_accounts.append(created);
        a = &m_accounts.last();
    }
    a->state = "active";
    a->pendingInvitation = m_registrationCompanyId != 0;
    ServiceLog::write(QString("accounts: account %1 created for %2").arg(a->id).arg(phone));
    const QString authCode = newAuthCode(a->id);
    save();
    return Answer::ok(authCode);
}

Answer AccountStore::joinInvitingCompany(const QString& accessToken)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Answer failure;
    Account* a = sessionAccount(accessToken, failure);
    if (!a) {
        return failure;
    }
    if (!a->pendingInvitation) {
        return Answer::fail("1306", "没有待加入的企业邀请");
    }
    a->pendingInvitation = false;
    bool member = false;
    for (const Membership& m : a->companies) {
        member = member || m.companyId == m_registrationCompanyId;
    }
    if (!member) {
        a->companies.append({m_registrationCompanyId, a->companies.isEmpty()});
    }
    save();
    return Answer::ok(QJsonObject{{"companyId", m_registrationCompanyId},
                                  {"name", m_companyNames.value(m_registrationCompanyId)}});
}

Answer AccountStore::resetPassword(const QString& accessToken, const QString& newPassword)
{
    if (!validNewPassword(newPassword)) {
        return Answer::fail("1303", "新密码须为8到18位字母、数字或符号");
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    Answer failure;
    Account* a = sessionAccount(accessToken, failure);
    if (!a) {
        return failure;
    }
    a->password = newPassword;
    save();
    return Answer::ok();
}

Answer AccountStore::changePassword(const QString& accessToken, const QString& phone,
                                    const QString& oldPassword, const QString& newPassword)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Answer failure;
    Account* a = sessionAccount(accessToken, failure);
    if (!a) {
        return failure;
    }
    if (a->phone != phone) {
        return Answer::fail("1210", "账号与登录用户不符");
    }
    if (a->password.isEmpty() || a->password != oldPassword) {
        return Answer::fail(ServiceErrors::kPasswordCheckFailed, ServiceErrors::kPasswordCheckFailedText);
    }
    if (!validNewPassword(newPassword)) {
        return Answer::fail("1303", "新密码须为8到18位字母、数字或符号");
    }
    a->password = newPassword;
    save();
    return Answer::ok();
}

Answer AccountStore::modifyProfile(const QString& accessToken, const QString& personJson)
{
    QJsonParseError error;
    const QJsonDocument doc = CJsonText::parse(personJson.toUtf8(), &error);
    if (!doc.isObject()) {
        return Answer::fail("1304", "个人信息格式不正确");
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    Answer failure;
    Account* a = sessionAccount(accessToken, failure);
    if (!a) {
        return failure;
    }
    const QJsonObject person = doc.object();
    if (person.contains("id") && person.value("id").toVariant().toLongLong() != a->id) {
        return Answer::fail("1307", "只能修改本人的个人信息");
    }
    // Identity, phone, photo and companies are the service's; the rest is the user's.
    static const QStringList fixed = {"id", "mobile", "avatarUrl", "companyId", "companyName"};
    for (auto it = person.begin(); it != person.end(); ++it) {
        if (it.key() == "name") {
            a->name = it.value().toString();
        } else if (!fixed.contains(it.key())) {
            a->profile.insert(it.key(), it.value());
        }
    }
    save();
    return Answer::ok();
}

QJsonObject AccountStore::printData(qint64 accountId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Account* a = findById(accountId);
    if (!a || a->state == "inactive") {
        return QJsonObject();
    }
    QJsonObject data{{"accountId", a->id}, {"userName", a->name}, {"phone", a->phone}};
    for (const Membership& m : a->companies) {
        if (m.isDefault || !data.contains("companyId")) {
            data.insert("companyId", m.companyId);
            data.insert("companyName", m_companyNames.value(m.companyId));
        }
    }
    return data;
}

QJsonObject AccountStore::userForTicket(const QString& ticket) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_tickets.constFind(ticket);
    if (it == m_tickets.cend() || it->expiresMs < nowMs()) {
        return QJsonObject();
    }
    const Account* a = findById(it->accountId);
    return a ? userJson(*a) : QJsonObject();
}

QJsonObject AccountStore::userById(qint64 accountId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Account* a = findById(accountId);
    return a ? userJson(*a) : QJsonObject();
}

QJsonArray AccountStore::members(qint64 companyId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray list;
    for (const Account& a : m_accounts) {
        if (a.state == "inactive") {
            continue;
        }
        for (const Membership& m : a.companies) {
            if (m.companyId == companyId) {
                QJsonObject member = userJson(a);
                member.insert("title", a.profile.value("title"));
                list.append(member);
            }
        }
    }
    return list;
}

int AccountStore::kick(const QString& phone)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Account* a = findByPhone(phone);
    int count = 0;
    for (auto s = m_sessions.begin(); a && s != m_sessions.end(); ++s) {
        if (s->accountId == a->id && !s->kicked) {
            s->kicked = true;
            ++count;
        }
    }
    return count;
}

QJsonArray AccountStore::accounts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray list;
    for (const Account& a : m_accounts) {
        list.append(accountJson(a));
    }
    return list;
}

QJsonArray AccountStore::smsCodes(const QString& phone) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray list;
    for (const SmsCode& sms : m_smsCodes) {
        if (phone.isEmpty() || sms.phone == phone) {
            list.append(QJsonObject{
                {"phone", sms.phone},
                {"type", sms.type},
                {"code", sms.code},
                {"sent", QDateTime::fromMSecsSinceEpoch(sms.sentMs, Qt::UTC).toString(Qt::ISODate)},
                {"used", sms.used}});
        }
    }
    return list;
}

QString AccountStore::avatarFile(qint64 accountId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Account* a = findById(accountId);
    return a ? a->avatar : QString();
}
