#include "receiver/roomregistration.h"

namespace {
// A record lives for its lifetime: renewing three times in it survives a lost call.
constexpr int kRenewalsPerLifetime = 3;
constexpr int kMinRenewMs = 100;
constexpr int kMaxRenewMs = 10000;
constexpr int kRetryMs = 2000;
const char* const kErrNoRoom = "4404";
} // namespace

RoomRegistration::RoomRegistration(const RoomServiceClient::Settings& settings, const QString& name,
                                   const QString& address, int port, QObject* parent)
    : QObject(parent), m_client(settings, this), m_name(name), m_address(address), m_port(port)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_code.isEmpty() ? registerRoom() : renew(); });
}

void RoomRegistration::start()
{
    registerRoom();
}

void RoomRegistration::registerRoom()
{
    m_client.registerRoom(m_name, m_address, m_port,
                          [this](const RoomServiceClient::Result& result) { onAnswer(result, false); });
}

void RoomRegistration::renew()
{
    m_client.renew(m_code, [this](const RoomServiceClient::Result& result) { onAnswer(result, true); });
}

void RoomRegistration::onAnswer(const RoomServiceClient::Result& result, bool renewal)
{
    const QString code = result.content.value("code").toString();
    if (result.success && !code.isEmpty()) {
        const int lifetime = result.content.value("lifetimeMs").toInt(3 * kMaxRenewMs);
        m_renewMs = qBound(kMinRenewMs, lifetime / kRenewalsPerLifetime, kMaxRenewMs);
        if (code != m_code) {
            m_code = code;
            emit message(QString("room code: %1").arg(code));
            emit codeChanged(code);
        } else if (m_failing) {
            emit message("room registration renewed again");
        }
        m_failing = false;
        m_timer.start(m_renewMs);
        return;
    }
    if (renewal && result.reached && result.errorCode == kErrNoRoom) {
        // The service forgot the room (expired or restarted): register again at once.
        emit message("room " + m_code + " is no longer known to the service; registering again");
        m_code.clear();
        emit codeChanged(QString());
        registerRoom();
        return;
    }
    if (!m_failing) {
        emit message(QString("room registration failed: %1")
                         .arg(result.reached ? result.errorCode + " " + result.errorMsg : result.problem));
    }
    m_failing = true;
    // The code stays on screen: the service keeps the record for its lifetime.
    m_timer.start(qMin(kRetryMs, m_renewMs));
}
