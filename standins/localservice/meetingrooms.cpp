#include "standins/localservice/meetingrooms.h"
#include "platform/jsontext.h"

#include "standins/localservice/answer.h"
#include "standins/localservice/httputil.h"
#include "standins/localservice/localservice.h"
#include "standins/localservice/servicelog.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace {
// Letters and digits that cannot be misread (no I, L, O, U), as on the receivers.
const char kCodeAlphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr int kMaxNameLength = 64;

const char* const kErrCredentials = "4401";
const char* const kErrBadRequest = "4400";
const char* const kErrNoRoom = "4404";

QString refuse(httplib::Response& res, const QString& code, const QString& message, int status = 200)
{
    HttpUtil::sendJson(res, Answer::fail(code, message).toJson(), status);
    return "refused: " + message;
}

bool isIpv4(const QString& text)
{
    static const QRegularExpression form("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$");
    const auto match = form.match(text);
    if (!match.hasMatch()) {
        return false;
    }
    for (int i = 1; i <= 4; ++i) {
        if (match.captured(i).toInt() > 255) {
            return false;
        }
    }
    return true;
}
} // namespace

MeetingRooms::MeetingRooms(LocalService& service) : m_service(service)
{
    auto handler = [this](QString (MeetingRooms::*call)(const httplib::Request&, httplib::Response&)) {
        return [this, call](const httplib::Request& q, httplib::Response& r, qint64) {
            QString outcome;
            if (!authorized(q, r, outcome)) {
                return outcome;
            }
            return (this->*call)(q, r);
        };
    };
    service.route("POST", "/api/rooms/register", "roomRegister", handler(&MeetingRooms::registerRoom));
    service.route("POST", "/api/rooms/renew", "roomRenew", handler(&MeetingRooms::renew));
    service.route("GET", "/api/rooms/list", "roomList", handler(&MeetingRooms::list));
    service.route("GET", "/api/rooms/lookup", "roomLookup", handler(&MeetingRooms::lookup));

    // Tests: the rooms as they are, and a short lifetime so that expiry needs no long wait.
    service.routePlain("GET", "/__control/rooms", [this](const httplib::Request&, httplib::Response& r) {
        HttpUtil::sendJson(
            r, QJsonObject{{"ok", true}, {"rooms", rooms()}, {"lifetimeMs", m_lifetimeMs.load()}});
    });
    service.routePlain("POST", "/__control/rooms", [this](const httplib::Request& q, httplib::Response& r) {
        const QJsonValue lifetime = CJsonText::parse(HttpUtil::body(q)).object().value("lifetimeMs");
        if (!lifetime.isDouble() || lifetime.toInt() < 100 || lifetime.toInt() > 3600000) {
            HttpUtil::sendJson(
                r, QJsonObject{{"ok", false}, {"error", "\"lifetimeMs\" must be 100 to 3600000"}}, 400);
            return;
        }
        m_lifetimeMs = lifetime.toInt();
        ServiceLog::write(QString("control: meeting rooms live %1 ms without renewal").arg(m_lifetimeMs));
        HttpUtil::sendJson(r, QJsonObject{{"ok", true}, {"lifetimeMs", m_lifetimeMs.load()}});
    });
}

void MeetingRooms::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rooms.clear();
    m_lifetimeMs = kDefaultLifetimeMs;
}

bool MeetingRooms::authorized(const httplib::Request& req, httplib::Response& res, QString& outcome) const
{
    const Deployment& deployment = m_service.deployment();
    const QByteArray id = HttpUtil::header(req, "X-Conference-App-Id");
    const QByteArray key = HttpUtil::header(req, "X-Conference-App-Key");
    QString reason;
    if (id.isEmpty() || key.isEmpty()) {
        reason = "conference app credentials missing";
    } else if (id != deployment.conferenceDefaultAppId.toUtf8() ||
               key != deployment.conferenceDefaultAppKey.toUtf8()) {
        reason = "wrong conference app credentials";
    } else {
        return true;
    }
    ServiceLog::write(QString("refused %1 %2: %3")
                          .arg(QString::fromStdString(req.method), QString::fromStdString(req.path), reason));
    outcome = refuse(res, kErrCredentials, "请求校验失败: " + reason, 401);
    return false;
}

QString MeetingRooms::registerRoom(const httplib::Request& req, httplib::Response& res)
{
    QString name;
    QString address;
    int port = 0;
    if (!readRegistration(HttpUtil::body(req), name, address, port)) {
        return refuse(
            res, kErrBadRequest,
            "会议室信息不完整: \"name\" (1 to 64 characters), \"address\" (IPv4) and \"port\" are required");
    }
    Room room;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        expire();
        // A receiver that registers again (restarted, or after its record expired
        // on a short outage) keeps its code while its record lives.
        QString code;
        for (const Room& existing : qAsConst(m_rooms)) {
            if (existing.address == address && existing.port == port) {
                code = existing.code;
            }
        }
        if (code.isEmpty()) {
            code = freeCode();
        }
        room = Room{code, name, address, port, Clock::now() + std::chrono::milliseconds(m_lifetimeMs.load())};
        m_rooms.insert(code, room);
    }
    ServiceLog::write(QString("room %1 (%2) registered at %3:%4").arg(room.code, name, address).arg(port));
    HttpUtil::sendJson(res, Answer::ok(describe(room)).toJson());
    return "accepted: " + room.code;
}

bool MeetingRooms::readRegistration(const QByteArray& body, QString& name, QString& address, int& port)
{
    const QJsonObject in = CJsonText::parse(body).object();
    name = in.value("name").toString().trimmed();
    address = in.value("address").toString();
    port = in.value("port").toInt();
    return !name.isEmpty() && name.size() <= kMaxNameLength && isIpv4(address) && port >= 1 && port <= 65535;
}

QString MeetingRooms::readCode(const QByteArray& body)
{
    return CJsonText::parse(body).object().value("code").toString().toUpper();
}

QString MeetingRooms::renew(const httplib::Request& req, httplib::Response& res)
{
    const QString code = readCode(HttpUtil::body(req));
    Room room;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        expire();
        auto it = m_rooms.find(code);
        if (it == m_rooms.end()) {
            return refuse(res, kErrNoRoom, "会议室不存在: " + code);
        }
        it->expires = Clock::now() + std::chrono::milliseconds(m_lifetimeMs.load());
        room = *it;
    }
    HttpUtil::sendJson(res, Answer::ok(describe(room)).toJson());
    return "accepted: " + code;
}

QString MeetingRooms::list(const httplib::Request&, httplib::Response& res)
{
    const QJsonArray all = rooms();
    HttpUtil::sendJson(res, Answer::ok(QJsonObject{{"rooms", all}}).toJson());
    return QString("accepted: %1 rooms").arg(all.size());
}

QString MeetingRooms::lookup(const httplib::Request& req, httplib::Response& res)
{
    const QString code = HttpUtil::query(req, "code").toUpper();
    Room room;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        expire();
        auto it = m_rooms.constFind(code);
        if (it == m_rooms.constEnd()) {
            return refuse(res, kErrNoRoom, "会议室不存在: " + code);
        }
        room = *it;
    }
    HttpUtil::sendJson(res, Answer::ok(describe(room)).toJson());
    return "accepted: " + code;
}

void MeetingRooms::expire()
{
    const Clock::time_point now = Clock::now();
    for (auto it = m_rooms.begin(); it != m_rooms.end();) {
        if (it->expires <= now) {
            ServiceLog::write(QString("room %1 (%2) expired").arg(it->code, it->name));
            it = m_rooms.erase(it);
        } else {
            ++it;
        }
    }
}

QString MeetingRooms::freeCode() const
{
    QString code;
    do {
        code.clear();
        for (int i = 0; i < 4; ++i) {
            code += QLatin1Char(
                kCodeAlphabet[QRandomGenerator::global()->bounded(int(sizeof(kCodeAlphabet) - 1))]);
        }
    } while (m_rooms.contains(code));
    return code;
}

QJsonObject MeetingRooms::describe(const Room& room) const
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(room.expires - Clock::now()).count();
    return QJsonObject{{"code", room.code},
                       {"name", room.name},
                       {"address", room.address},
                       {"port", room.port},
                       {"lifetimeMs", m_lifetimeMs.load()},
                       {"expiresInMs", double(std::max<qint64>(0, left))}};
}

QJsonArray MeetingRooms::rooms()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    expire();
    QJsonArray all;
    for (const Room& room : qAsConst(m_rooms)) {
        all.append(describe(room));
    }
    return all;
}
