#include "standins/localservice/officepages.h"

#include "standins/localservice/accountstore.h"
#include "standins/localservice/httputil.h"
#include "standins/localservice/localservice.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QUrl>
#include <QUrlQuery>

namespace {
const char* kCookie = "vt_office";

QString esc(const QString& text)
{
    return HttpUtil::htmlEscape(text);
}

QString cookieValue(const httplib::Request& req)
{
    const QString header = QString::fromStdString(req.get_header_value("Cookie"));
    for (const QString& part : header.split(';')) {
        const QString item = part.trimmed();
        if (item.startsWith(QString(kCookie) + "=")) {
            return item.mid(int(strlen(kCookie)) + 1);
        }
    }
    return QString();
}

QString formValue(const httplib::Request& req, const QString& key)
{
    // A browser form: "+" is a blank, the rest percent-escaped.
    QString body = QString::fromUtf8(req.body.data(), int(req.body.size()));
    body.replace('+', ' ');
    return QUrlQuery(body).queryItemValue(key, QUrl::FullyDecoded);
}

QString displayName(const QJsonObject& user)
{
    const QString name = user.value("name").toString();
    return name.isEmpty() ? user.value("phone").toString() : name;
}

QString shortTime(const QString& iso)
{
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODate).toLocalTime();
    return t.date() == QDate::currentDate() ? t.toString("hh:mm") : t.toString("MM-dd hh:mm");
}
} // namespace

OfficePages::OfficePages(LocalService& service) : m_service(service)
{
    service.routeRegex(
        "GET", "/pcweb/(.*)", "officePage",
        [this](const httplib::Request& q, httplib::Response& r, qint64) { return handle(q, r); });
    service.routeRegex(
        "POST", "/pcweb/(.*)", "officePage",
        [this](const httplib::Request& q, httplib::Response& r, qint64) { return handle(q, r); });
    service.routePlain("GET", "/static/office.css", [](const httplib::Request&, httplib::Response& r) {
        HttpUtil::send(r, LocalService::resource("web/pcweb/office.css"), "text/css; charset=utf-8");
    });
}

void OfficePages::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sessions.clear();
    m_mails.clear();
    m_seeded.clear();
    m_nextMailId = 1;
}

QString OfficePages::handle(const httplib::Request& req, httplib::Response& res)
{
    const QString path = QString::fromStdString(req.path);
    if (path == "/pcweb/index") {
        return index(req, res);
    }
    Session s;
    if (!session(req, s)) {
        message(res, "登录已失效", "请回到 Vantelor 客户端的邮件页面重新进入。");
        return "failed: no session";
    }
    if (path == "/pcweb/mail") {
        const QString folder = HttpUtil::query(req, "folder") == "sent" ? "sent" : "inbox";
        page(res, s, folder == "sent" ? "已发送" : "收件箱", "mail", mailList(s, folder));
    } else if (path == "/pcweb/mail/view") {
        page(res, s, "邮件", "mail", mailView(s, HttpUtil::query(req, "id").toInt()));
    } else if (path == "/pcweb/mail/compose") {
        page(res, s, "写邮件", "mail", compose(HttpUtil::query(req, "to"), QString()));
    } else if (path == "/pcweb/mail/send" && req.method == "POST") {
        QString error;
        const QString sent = send(s, req, error);
        if (!error.isEmpty()) {
            page(res, s, "写邮件", "mail", sent);
            return "failed: " + error;
        }
        res.status = 303;
        res.set_header("Location", "/pcweb/mail?folder=sent");
    } else if (path == "/pcweb/contacts") {
        page(res, s, "通讯录", "contacts", contacts(s));
    } else if (path == "/pcweb/logout") {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sessions.remove(cookieValue(req));
        res.set_header("Set-Cookie", std::string(kCookie) + "=; Path=/pcweb; Max-Age=0");
        HttpUtil::send(res, "", "text/html; charset=utf-8", 303);
        res.set_header("Location", "/pcweb/index");
        return "accepted";
    } else {
        page(res, s, "页面不存在", "",
             "<p class=\"empty\">页面不存在。<a href=\"/pcweb/index\">回到首页</a></p>");
        res.status = 404;
        return "failed: no such page";
    }
    return "accepted";
}

QString OfficePages::index(const httplib::Request& req, httplib::Response& res)
{
    const QString ticket = HttpUtil::query(req, "SSO_TICKET");
    Session s;
    if (!ticket.isEmpty()) {
        const QJsonObject user = m_service.accounts().userForTicket(ticket);
        if (user.isEmpty()) {
            message(res, "登录已失效", "单点登录票据无效或已过期，请在 Vantelor 客户端中重新打开邮件页面。");
            return "failed: unknown ticket";
        }
        s.accountId = user.value("id").toVariant().toLongLong();
        const qint64 wanted = HttpUtil::query(req, "companyId").toLongLong();
        for (const QJsonValue& c : user.value("companies").toArray()) {
            const qint64 id = c.toObject().value("companyId").toVariant().toLongLong();
            if (id == wanted || (s.companyId == 0 && c.toObject().value("isDefault").toBool())) {
                s.companyId = id;
            }
        }
        QByteArray raw(16, '\0');
        for (char& c : raw) {
            c = char(QRandomGenerator::global()->bounded(256));
        }
        const QString cookie = QString::fromLatin1(raw.toHex());
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sessions.insert(cookie, s);
        }
        res.set_header("Set-Cookie",
                       QString("%1=%2; Path=/pcweb; HttpOnly").arg(kCookie, cookie).toStdString());
    } else if (!session(req, s)) {
        message(res, "请先登录", "请在 Vantelor 客户端中登录后打开邮件页面。");
        return "failed: no ticket";
    }
    page(res, s, "首页", "home", home(s));
    return "accepted";
}

bool OfficePages::session(const httplib::Request& req, Session& out)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_sessions.constFind(cookieValue(req));
    if (it == m_sessions.cend()) {
        return false;
    }
    out = *it;
    return true;
}

void OfficePages::page(httplib::Response& res, const Session& s, const QString& title, const QString& active,
                       const QString& content)
{
    const QJsonObject user = m_service.accounts().userById(s.accountId);
    QString company = "个人账号";
    for (const QJsonValue& c : user.value("companies").toArray()) {
        if (c.toObject().value("companyId").toVariant().toLongLong() == s.companyId) {
            company = c.toObject().value("name").toString();
        }
    }
    const auto nav = [&active](const QString& key, const QString& href, const QString& text) {
        return QString("<a href=\"%1\"%2>%3</a>").arg(href, key == active ? " class=\"active\"" : "", text);
    };
    const QString html =
        QString(
            "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
            "<title>%1 - Vantelor 云办公</title><link rel=\"stylesheet\" href=\"/static/office.css\"></head>"
            "<body><header><span class=\"brand\">Vantelor 云办公</span>"
            "<span class=\"company\" id=\"company\">%2</span>"
            "<span class=\"user\" id=\"user\">%3</span></header>"
            "<nav>%4%5%6</nav><main>%7</main>"
            "<footer>本页面由本地服务提供，仅供开发和试用。</footer></body></html>")
            .arg(esc(title), esc(company), esc(displayName(user)), nav("home", "/pcweb/index", "首页"),
                 nav("mail", "/pcweb/mail", "邮件"), nav("contacts", "/pcweb/contacts", "通讯录"), content);
    HttpUtil::send(res, html.toUtf8(), "text/html; charset=utf-8");
}

void OfficePages::message(httplib::Response& res, const QString& title, const QString& text)
{
    const QString html = QString("<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                                 "<title>%1 - Vantelor 云办公</title>"
                                 "<link rel=\"stylesheet\" href=\"/static/office.css\"></head>"
                                 "<body><header><span class=\"brand\">Vantelor 云办公</span></header>"
                                 "<main><div class=\"notice\" id=\"notice\"><h1>%1</h1><p>%2</p></div></main>"
                                 "</body></html>")
                             .arg(esc(title), esc(text));
    HttpUtil::send(res, html.toUtf8(), "text/html; charset=utf-8");
}

QString OfficePages::address(const QJsonObject& user) const
{
    const QString email = user.value("email").toString();
    return email.isEmpty() ? user.value("phone").toString() + "@mail.vantelor.local" : email;
}

void OfficePages::seedMail(qint64 accountId)
{
    // Called with m_mutex held: the first visit of an account fills its inbox.
    if (m_seeded.value(accountId)) {
        return;
    }
    m_seeded.insert(accountId, true);
    const QJsonObject user = m_service.accounts().userById(accountId);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    bool any = false;
    for (const QJsonValue& v : m_service.seed().value("mails").toArray()) {
        const QJsonObject m = v.toObject();
        if (m.value("to").toString() != user.value("phone").toString()) {
            continue;
        }
        Mail mail;
        mail.id = m_nextMailId++;
        mail.owner = accountId;
        mail.folder = "inbox";
        mail.from = m.value("from").toString();
        mail.to = address(user);
        mail.subject = m.value("subject").toString();
        mail.body = m.value("body").toString();
        mail.time = now.addSecs(-60 * m.value("minutesAgo").toInt()).toString(Qt::ISODate);
        m_mails.append(mail);
        any = true;
    }
    if (!any) {
        Mail welcome;
        welcome.id = m_nextMailId++;
        welcome.owner = accountId;
        welcome.folder = "inbox";
        welcome.from = "Vantelor 团队 <hello@mail.vantelor.local>";
        welcome.to = address(user);
        welcome.subject = "欢迎使用 Vantelor 云办公";
        welcome.body = "你好！\n\n这是你的邮箱。你可以在这里收发邮件，在通讯录里找到同事。\n\nVantelor 团队";
        welcome.time = now.toString(Qt::ISODate);
        m_mails.append(welcome);
    }
}

QString OfficePages::home(const Session& s)
{
    const QJsonObject user = m_service.accounts().userById(s.accountId);
    std::lock_guard<std::mutex> lock(m_mutex);
    seedMail(s.accountId);
    int unread = 0;
    QString latest;
    int shown = 0;
    for (int i = m_mails.size() - 1; i >= 0; --i) {
        const Mail& m = m_mails.at(i);
        if (m.owner != s.accountId || m.folder != "inbox") {
            continue;
        }
        unread += m.read ? 0 : 1;
        if (shown++ < 3) {
            latest +=
                QString("<li><a href=\"/pcweb/mail/view?id=%1\">%2</a><span class=\"meta\">%3</span></li>")
                    .arg(QString::number(m.id), esc(m.subject), esc(m.from.section('<', 0, 0).trimmed()));
        }
    }
    QString notices;
    for (const QJsonValue& v : m_service.seed().value("notices").toArray()) {
        const QJsonObject n = v.toObject();
        if (n.value("companyId").toVariant().toLongLong() == s.companyId) {
            notices += QString("<li><strong>%1</strong><p>%2</p></li>")
                           .arg(esc(n.value("title").toString()), esc(n.value("text").toString()));
        }
    }
    if (notices.isEmpty()) {
        notices = "<li class=\"empty\">暂无公告</li>";
    }
    return QString("<h1 id=\"welcome\">%1，你好</h1>"
                   "<div class=\"tiles\"><a class=\"tile\" href=\"/pcweb/mail\"><b "
                   "id=\"unread\">%2</b>封未读邮件</a>"
                   "<a class=\"tile\" href=\"/pcweb/mail/compose\"><b>✉</b>写邮件</a>"
                   "<a class=\"tile\" href=\"/pcweb/contacts\"><b>☎</b>通讯录</a></div>"
                   "<section><h2>最新邮件</h2><ul class=\"list\">%3</ul></section>"
                   "<section><h2>企业公告</h2><ul class=\"list notices\">%4</ul></section>")
        .arg(esc(displayName(user)), QString::number(unread),
             latest.isEmpty() ? "<li class=\"empty\">收件箱是空的</li>" : latest, notices);
}

QString OfficePages::mailList(const Session& s, const QString& folder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    seedMail(s.accountId);
    QString rows;
    for (int i = m_mails.size() - 1; i >= 0; --i) {
        const Mail& m = m_mails.at(i);
        if (m.owner != s.accountId || m.folder != folder) {
            continue;
        }
        rows += QString("<li class=\"%1\"><a href=\"/pcweb/mail/view?id=%2\">%3</a>"
                        "<span class=\"meta\">%4 · %5</span></li>")
                    .arg(m.read || folder == "sent" ? "read" : "unread", QString::number(m.id),
                         esc(m.subject.isEmpty() ? "(无主题)" : m.subject),
                         esc(folder == "sent" ? "致 " + m.to : m.from), shortTime(m.time));
    }
    return QString(
               "<div class=\"toolbar\"><a class=\"button\" href=\"/pcweb/mail/compose\">写邮件</a>"
               "<a href=\"/pcweb/mail\"%1>收件箱</a><a href=\"/pcweb/mail?folder=sent\"%2>已发送</a></div>"
               "<ul class=\"list mails\" id=\"mails\">%3</ul>")
        .arg(folder == "inbox" ? " class=\"active\"" : "", folder == "sent" ? " class=\"active\"" : "",
             rows.isEmpty() ? "<li class=\"empty\">没有邮件</li>" : rows);
}

QString OfficePages::mailView(const Session& s, int id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Mail& m : m_mails) {
        if (m.id != id || m.owner != s.accountId) {
            continue;
        }
        m.read = true;
        const QString replyTo = m.folder == "inbox" ? m.from.section('<', 1).section('>', 0, 0) : m.to;
        return QString(
                   "<article class=\"mail\"><h1 id=\"subject\">%1</h1>"
                   "<p class=\"meta\">发件人：%2<br>收件人：%3<br>时间：%4</p>"
                   "<pre id=\"body\">%5</pre>"
                   "<div class=\"toolbar\"><a class=\"button\" href=\"/pcweb/mail/compose?to=%6\">回复</a>"
                   "<a href=\"/pcweb/mail%7\">返回列表</a></div></article>")
            .arg(esc(m.subject), esc(m.from), esc(m.to), shortTime(m.time), esc(m.body),
                 QString::fromUtf8(QUrl::toPercentEncoding(replyTo)),
                 m.folder == "sent" ? "?folder=sent" : "");
    }
    return "<p class=\"empty\">邮件不存在。</p>";
}

QString OfficePages::compose(const QString& to, const QString& error)
{
    return QString("<form class=\"compose\" method=\"post\" action=\"/pcweb/mail/send\">%1"
                   "<label>收件人<input name=\"to\" id=\"to\" value=\"%2\" placeholder=\"邮箱地址或手机号\" "
                   "required></label>"
                   "<label>主题<input name=\"subject\" id=\"subjectInput\"></label>"
                   "<label>正文<textarea name=\"body\" id=\"bodyInput\" rows=\"10\"></textarea></label>"
                   "<button type=\"submit\" id=\"send\">发送</button></form>")
        .arg(error.isEmpty() ? QString() : "<p class=\"error\">" + esc(error) + "</p>", esc(to));
}

QString OfficePages::send(const Session& s, const httplib::Request& req, QString& error)
{
    const QString to = formValue(req, "to").trimmed();
    const QString subject = formValue(req, "subject").trimmed();
    const QString body = formValue(req, "body");
    if (to.isEmpty()) {
        error = "请填写收件人";
        return compose(to, error);
    }
    const QJsonObject sender = m_service.accounts().userById(s.accountId);
    QJsonObject recipient;
    for (const QJsonValue& v : m_service.accounts().members(s.companyId)) {
        const QJsonObject member = v.toObject();
        if (to == member.value("phone").toString() || to == address(member)) {
            recipient = member;
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    seedMail(s.accountId);
    Mail mail;
    mail.owner = s.accountId;
    mail.folder = "sent";
    mail.from = displayName(sender) + " <" + address(sender) + ">";
    mail.to = recipient.isEmpty() ? to : address(recipient);
    mail.subject = subject;
    mail.body = body;
    mail.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    mail.read = true;
    mail.id = m_nextMailId++;
    m_mails.append(mail);
    if (!recipient.isEmpty()) {
        const qint64 recipientId = recipient.value("id").toVariant().toLongLong();
        seedMail(recipientId);
        Mail delivered = mail;
        delivered.id = m_nextMailId++;
        delivered.owner = recipientId;
        delivered.folder = "inbox";
        delivered.read = false;
        m_mails.append(delivered);
    }
    return QString();
}

QString OfficePages::contacts(const Session& s)
{
    QString rows;
    for (const QJsonValue& v : m_service.accounts().members(s.companyId)) {
        const QJsonObject m = v.toObject();
        rows +=
            QString("<tr><td>%1</td><td>%2</td><td>%3</td><td><a "
                    "href=\"/pcweb/mail/compose?to=%4\">%5</a></td></tr>")
                .arg(esc(displayName(m)), esc(m.value("title").toString()), esc(m.value("phone").toString()),
                     QString::fromUtf8(QUrl::toPercentEncoding(address(m))), esc(address(m)));
    }
    if (rows.isEmpty()) {
        return "<p class=\"empty\">你还没有加入企业，通讯录是空的。</p>";
    }
    return QString("<table class=\"contacts\" "
                   "id=\"contacts\"><tr><th>姓名</th><th>职位</th><th>手机</th><th>邮箱</th></tr>"
                   "%1</table>")
        .arg(rows);
}
