#include "roomshare.h"

#include <QDebug>
#include <QMetaObject>

namespace {
const char* const kErrNoRoom = "4404";
const char* const kErrCredentials = "4401";
constexpr int kLookupTimeoutMs = 5000;
// onNoStreamProjectionCommandResponse: 3 means the screen could not be captured.
constexpr int kNoStreamCapture = 3;
} // namespace

CRoomShare::CRoomShare(const RoomServiceClient::Settings* settings, QObject* parent)
    : QObject(parent), m_proxy(this)
{
    if (settings) {
        m_client = std::make_unique<RoomServiceClient>(*settings, this);
        m_client->setTimeout(kLookupTimeoutMs);
    }
    m_proxy.init();
}

CRoomShare::~CRoomShare()
{
    // The receiver hears STOP before the process goes.
    stop();
    m_proxy.terminate();
}

QString CRoomShare::message(Error error)
{
    switch (error) {
    case UnknownRoom:
        return QStringLiteral("投屏码不存在,请核对会议室屏幕上的4位投屏码");
    case ReceiverNotAnswering:
        return QStringLiteral("会议室接收端无响应,请确认接收端已开启");
    case ServiceUnreachable:
        return QStringLiteral("无法连接投屏服务,请检查网络后重试");
    case ReceiverBusy:
        return QStringLiteral("会议室接收端正忙,请稍后重试");
    case ReceiverRefused:
        return QStringLiteral("会议室接收端拒绝了投屏");
    case CaptureFailed:
        return QStringLiteral("无法采集屏幕画面,投屏未能开始");
    case ServiceRefused:
        return QStringLiteral("投屏服务拒绝了会议程序的凭据,请联系管理员");
    }
    return QString();
}

void CRoomShare::start(const QString& code, const QString& sharerName)
{
    stop();
    const int attempt = ++m_attempt;
    m_code = code.toUpper();
    m_state = LookingUp;
    if (!m_client) {
        fail(ServiceUnreachable, "no service configured");
        return;
    }
    qDebug().noquote() << "looking up meeting room" << m_code;
    m_client->lookup(m_code, [this, attempt, sharerName](const RoomServiceClient::Result& result) {
        if (attempt != m_attempt || m_state != LookingUp) {
            return;
        }
        if (!result.reached) {
            fail(ServiceUnreachable, "the service did not answer the lookup: " + result.problem);
            return;
        }
        if (!result.success) {
            const QString why = "the service refused the lookup: " + result.errorCode + " " + result.errorMsg;
            fail(result.errorCode == kErrNoRoom        ? UnknownRoom
                 : result.errorCode == kErrCredentials ? ServiceRefused
                                                       : ServiceUnreachable,
                 why);
            return;
        }
        const QString address = result.content.value("address").toString();
        const int port = result.content.value("port").toInt();
        qDebug().noquote() << QString("room %1 (%2) is at %3:%4")
                                  .arg(m_code, result.content.value("name").toString(), address)
                                  .arg(port);
        m_state = Connecting;
        if (m_proxy.startShare(address.toLatin1().constData(), port, sharerName.toUtf8().constData()) != 0) {
            fail(ReceiverNotAnswering, "the service gave no usable receiver address");
        }
    });
}

void CRoomShare::stop()
{
    if (m_state == Idle) {
        return;
    }
    qDebug().noquote() << (m_state == Running ? "stopping the share to" : "abandoning the share to")
                       << m_code;
    m_state = Idle;
    // Joins the library's thread: its callbacks are in the queue by now, and dropped.
    m_proxy.stopProjection();
    ++m_attempt;
}

void CRoomShare::fail(Error error, const QString& why)
{
    qDebug().noquote() << "share to" << m_code << "failed:" << why;
    m_state = Idle;
    m_proxy.cancelProjection();
    ++m_attempt;
    emit failed(error, message(error));
}

void CRoomShare::post(const std::function<void()>& action)
{
    const int attempt = m_attempt;
    QMetaObject::invokeMethod(
        this,
        [this, attempt, action] {
            if (attempt == m_attempt) {
                action();
            }
        },
        Qt::QueuedConnection);
}

void CRoomShare::onProjectionSuccess()
{
    post([this] {
        if (m_state == Connecting) {
            m_state = Running;
            qDebug().noquote() << "sharing the screen to room" << m_code;
            emit started();
        }
    });
}

void CRoomShare::onProjectionRejected(int32_t reason)
{
    post([this, reason] {
        if (m_state == Connecting) {
            fail(ReceiverRefused, QString("the receiver refused (%1)").arg(reason));
        }
    });
}

void CRoomShare::onBusying()
{
    post([this] {
        if (m_state == Connecting) {
            fail(ReceiverBusy, "the receiver is busy");
        }
    });
}

void CRoomShare::onProjectionStopped()
{
    const int reason = m_proxy.lastStopReason();
    post([this, reason] {
        if (m_state == Running) {
            qDebug().noquote() << "the share to" << m_code << "ended at the receiver, reason" << reason;
            m_state = Idle;
            ++m_attempt;
            emit ended(reason);
        }
    });
}

void CRoomShare::onNoStreamProjectionCommandResponse(int32_t command)
{
    post([this, command] {
        if (m_state == Connecting) {
            if (command == kNoStreamCapture) {
                fail(CaptureFailed, "the screen cannot be captured");
            } else {
                fail(ReceiverNotAnswering, QString("the receiver did not answer (%1)").arg(command));
            }
        }
    });
}
