#include "conference/meetingmanager.h"

#include "account/loginmanager.h"
#include "core/dplustrack.h"

#include "conference/conferencelog.h"
#include "conference/meetingcallback.h"
#include "conference/tandemlinkapi.h"
#include "conference/tandemlinkproc.h"
#include "conference/webchannelidleguard.h"

#include <QDebug>
#include <QJsonObject>
#include <QTimer>
#include <QWebChannel>

namespace {
int noResponseTimeoutMs = 15000;
} // namespace

CMeetingManager::CMeetingManager()
{
    CTandemlinkProc* proc = CTandemlinkProc::instance().get();
    connect(proc, &CTandemlinkProc::meetingStarted, this, &CMeetingManager::onMeetingStarted);
    connect(proc, &CTandemlinkProc::meetingStoped, this, &CMeetingManager::onMeetingStoped);
    connect(proc, &CTandemlinkProc::meetingError, this, &CMeetingManager::onMeetingError);
    connect(proc, &CTandemlinkProc::meetingStopFailed, this, &CMeetingManager::onMeetingStopFailed);
}

CMeetingManager::~CMeetingManager()
{
    if (m_inMeeting) {
        stopMeeting({m_conferenceUuid, m_memberId});
    }
}

void CMeetingManager::setNoResponseTimeout(int ms)
{
    noResponseTimeoutMs = ms;
}

bool CMeetingManager::refuse(const QString& errCode, const QString& errMsg, bool logged)
{
    m_errCode = errCode;
    m_errMsg = errMsg;
    if (logged) {
        qCDebug(lcConference).noquote() << "Tandemlink-CMeetingManager: " + m_errMsg;
    }
    return false;
}

void CMeetingManager::armNoResponseTimer()
{
    QTimer::singleShot(noResponseTimeoutMs, Qt::CoarseTimer, this, &CMeetingManager::onSDKNoResponse);
}

bool CMeetingManager::startMeeting(const QStringList& paras)
{
    if (m_inMeeting) {
        return refuse("100", "start meeting err: already in meeting.", true);
    }
    qCDebug(lcConference).noquote() << "Tandemlink-CMeetingManager: startMeeting paras " << paras;
    if (paras.size() != 3) {
        return refuse("101", "start meeting err: invalid parameters.", false);
    }
    if (m_waiting || CTandemlinkAPI::instance()->isFetching()) {
        return refuse("102", "start meeting err: waiting last operation to finish.", true);
    }

    // Waiting from here on: building the command may wait for the
    // configuration, and a request arriving meanwhile must be refused.
    m_waiting = true;
    ++m_pending;
    m_conferenceUuid = paras.at(0);
    m_memberId = paras.at(1);
    ensureBridge();
    const QJsonObject cmd{{"operation", "conferencestart"},
                          {"clientappid", CTandemlinkAPI::instance()->clientAppId()},
                          {"conferenceuuid", paras.at(0)},
                          {"membername", paras.at(2)},
                          {"memberid", paras.at(1)}};
    CTandemlinkProc& proc = *CTandemlinkProc::instance();
    if (!proc.exeCmd(cmd)) {
        --m_pending;
        m_waiting = false;
        m_conferenceUuid.clear();
        m_memberId.clear();
        return refuse("106", "start meeting err: " + proc.lastError(), true);
    }
    armNoResponseTimer();
    m_waiting = true;
    return true;
}

bool CMeetingManager::stopMeeting(const QStringList& paras)
{
    if (!m_inMeeting) {
        return refuse("200", "stop meeting err: not in meeting now, needn't stop.", true);
    }
    qCDebug(lcConference).noquote() << "Tandemlink-CMeetingManager: stopMeeting paras " << paras;
    if (paras.size() != 2) {
        return refuse("201", "stop meeting err: invalid parameters.", false);
    }
    if (m_waiting || CTandemlinkAPI::instance()->isFetching()) {
        return refuse("202", "stop meeting err: waiting last operation to finish.", true);
    }
    if (paras.at(0) != m_conferenceUuid) {
        return refuse("200", "stop meeting err: conferenceuuid not match.", true);
    }

    ++m_pending;
    m_waiting = true;
    ensureBridge();
    const QJsonObject cmd{{"operation", "conferencedisconnect"},
                          {"clientappid", CTandemlinkAPI::instance()->clientAppId()},
                          {"conferenceuuid", paras.at(0)},
                          {"memberid", paras.at(1)}};
    CTandemlinkProc& proc = *CTandemlinkProc::instance();
    if (!proc.exeCmd(cmd)) {
        --m_pending;
        m_waiting = false;
        return refuse("205", "stop meeting err: " + proc.lastError(), true);
    }
    armNoResponseTimer();
    return true;
}

QWebChannel* CMeetingManager::getWebChannel()
{
    ensureBridge();
    return m_channel;
}

void CMeetingManager::ensureBridge()
{
    if (m_callback) {
        return;
    }
    m_callback = new CMeetingCallback(this);
    connect(m_callback, &CMeetingCallback::showLoginDlg, this, &CMeetingManager::showLoginDlg);
    connect(CLoginManager::instance().get(), &CLoginManager::signalTicketOK, m_callback,
            &CMeetingCallback::informTicket);
    m_channel = new QWebChannel(this);
    new CWebChannelIdleGuard(m_channel);
    m_channel->registerObject("MeetingCallback", m_callback);
}

void CMeetingManager::onMeetingStarted()
{
    qCDebug(lcConference) << "Tandemlink-CMeetingManager: onMeetingStarted";
    m_inMeeting = true;
    m_waiting = false;
    if (m_callback) {
        emit m_callback->onMeetingStarted(m_conferenceUuid);
    }
    CDplusTrack::instance()->track(QStringLiteral("进入视频会议"));
}

void CMeetingManager::onMeetingStoped()
{
    if (!m_inMeeting && !m_waiting) {
        m_conferenceUuid.clear();
        m_memberId.clear();
        return;
    }
    m_inMeeting = false;
    m_waiting = false;
    qCDebug(lcConference) << "Tandemlink-CMeetingManager: onMeetingStoped";
    if (m_callback) {
        emit m_callback->onMeetingStoped(m_conferenceUuid);
    }
    m_conferenceUuid.clear();
    m_memberId.clear();
    CDplusTrack::instance()->track(QStringLiteral("退出视频会议"));
}

void CMeetingManager::onMeetingError(QString errMsg)
{
    qCDebug(lcConference).noquote() << "Tandemlink-CMeetingManager: onMeetingError: " + errMsg;
    m_inMeeting = false;
    m_waiting = false;
    if (m_callback) {
        emit m_callback->onMeetingError("106", errMsg);
    }
}

void CMeetingManager::onMeetingStopFailed(QString errMsg)
{
    qCDebug(lcConference).noquote() << "Tandemlink-CMeetingManager: onMeetingStopFailed: " + errMsg;
    if (!m_inMeeting) {
        return;
    }
    // Still in the conference: the page may leave again.
    m_waiting = false;
    if (m_callback) {
        emit m_callback->onMeetingError(kErrCodeLeaveFailed, errMsg);
    }
}

void CMeetingManager::onSDKNoResponse()
{
    if (--m_pending != 0 || !m_waiting) {
        return;
    }
    m_inMeeting = false;
    m_waiting = false;
    m_conferenceUuid.clear();
    m_memberId.clear();
    m_errMsg = "can not get response from sdk in 15s";
    qCDebug(lcConference).noquote() << "Tandemlink-CMeetingManager: CMeetingManager onSDKNoResponse: " +
                                           m_errMsg;
    if (m_callback) {
        emit m_callback->onMeetingError("106", "can not get response from sdk in 15s, please retry");
    }
}
