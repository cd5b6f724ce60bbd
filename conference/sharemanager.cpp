#include "conference/sharemanager.h"

#include "core/dplustrack.h"

#include "account/signedinuser.h"
#include "conference/conferencelog.h"
#include "conference/meetingmanager.h"
#include "conference/tandemlinkapi.h"
#include "conference/tandemlinkproc.h"

#include <QDebug>
#include <QJsonObject>
#include <QTimer>

namespace {
constexpr int kCodeLength = 4;
int startTimeoutMs = 20000;
int stopTimeoutMs = 12000;
} // namespace

CShareManager::CShareManager()
{
    CTandemlinkProc* proc = CTandemlinkProc::instance().get();
    connect(proc, &CTandemlinkProc::shareStarted, this, &CShareManager::onShareStarted);
    connect(proc, &CTandemlinkProc::shareStoped, this, &CShareManager::onShareStoped);
    connect(proc, &CTandemlinkProc::shareError, this, &CShareManager::onShareError);
    connect(proc, &CTandemlinkProc::shareStopFailed, this, &CShareManager::onShareStopFailed);
}

CShareManager::~CShareManager()
{
    if (m_sharing) {
        stop();
    }
}

void CShareManager::setNoResponseTimeouts(int startMs, int stopMs)
{
    startTimeoutMs = startMs;
    stopTimeoutMs = stopMs;
}

bool CShareManager::start(const QStringList& codes)
{
    if (m_waiting || CTandemlinkAPI::instance()->isFetching()) {
        return false;
    }
    m_codes = codes;
    if (m_codes.isEmpty() || m_codes.first().size() != kCodeLength) {
        return false;
    }
    // Waiting from here on: building the command may wait for the
    // configuration, and a request arriving meanwhile must be refused.
    m_waiting = true;
    QJsonObject cmd{{"operation", "sharestart"},
                    {"clientappid", CTandemlinkAPI::instance()->clientAppId()},
                    {"screencode", m_codes.first()}};
    if (CMeetingManager::instance()->isInMeeting() && CSignedInUser::isSignedIn()) {
        cmd.insert("memebername", CSignedInUser::displayName());
    }
    return send(cmd, startTimeoutMs);
}

bool CShareManager::stop()
{
    if (!m_sharing) {
        return true;
    }
    if (m_waiting || CTandemlinkAPI::instance()->isFetching()) {
        return false;
    }
    if (m_codes.isEmpty() || m_codes.first().size() != kCodeLength) {
        return false;
    }
    m_waiting = true;
    const QJsonObject cmd{{"operation", "sharestop"},
                          {"clientappid", CTandemlinkAPI::instance()->clientAppId()},
                          {"screencode", m_codes.first()}};
    return send(cmd, stopTimeoutMs);
}

bool CShareManager::send(const QJsonObject& cmd, int noResponseMs)
{
    ++m_pending;
    if (!CTandemlinkProc::instance()->exeCmd(cmd)) {
        --m_pending;
        m_waiting = false;
        return false;
    }
    QTimer::singleShot(noResponseMs, Qt::CoarseTimer, this, &CShareManager::onSDKNoResponse);
    return true;
}

void CShareManager::onShareStarted()
{
    m_sharing = true;
    m_waiting = false;
    emit shareManagerStarted();
    CDplusTrack::instance()->track(QStringLiteral("开始投屏(4位码)"));
}

void CShareManager::onShareStoped()
{
    if (!m_sharing && !m_waiting) {
        return;
    }
    m_sharing = false;
    m_waiting = false;
    emit shareManagerStoped();
    CDplusTrack::instance()->track(QStringLiteral("停止投屏(4位码)"));
}

void CShareManager::onShareError(QString errCode, QString errMsg)
{
    m_sharing = false;
    m_waiting = false;
    emit shareManagerError(errCode, errMsg);
}

void CShareManager::onShareStopFailed(QString errCode, QString errMsg)
{
    if (!m_sharing) {
        return;
    }
    // Still sharing: the user may stop again.
    m_waiting = false;
    emit shareManagerStopFailed(errCode, errMsg);
}

void CShareManager::onSDKNoResponse()
{
    if (--m_pending >= 1) {
        return;
    }
    m_pending = 0;
    if (m_waiting) {
        m_waiting = false;
        qCDebug(lcConference) << "Tandemlink: CShareManager onSDKNoResponse";
        emit shareManagerError("1", tr("无线投屏无响应,请稍后重试"));
    }
}
