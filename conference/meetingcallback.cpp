#include "conference/meetingcallback.h"

#include "core/dplustrack.h"

#include "account/signedinuser.h"
#include "conference/conferencelog.h"
#include "conference/meetingmanager.h"
#include "core/apiconfig.h"

#include <QDebug>
#include <QRandomGenerator>

CMeetingCallback::CMeetingCallback(QObject* parent) : QObject(parent) {}

void CMeetingCallback::informTicket(QString ticket)
{
    emit getTicket(ticket);
}

QString CMeetingCallback::guestName()
{
    const int r = QRandomGenerator::global()->bounded(32768);
    const int number = 100000 + static_cast<int>(r / 32767.0 * 899999);
    return QStringLiteral("游客") + QString::number(number);
}

void CMeetingCallback::startMeeting(QString uuid, QString memberid, QString name)
{
    qCDebug(lcConference).noquote() << "Tandemlink-CMeetingCallback: startMeeting paras: " + uuid << memberid
                                    << name;
    if (uuid.isEmpty() || memberid.isEmpty()) {
        emit onMeetingError("101", "invaild parameters");
        return;
    }
    // Others see the signed-in user's own name, never what the page passed.
    const QString memberName = CSignedInUser::isSignedIn() ? CSignedInUser::displayName() : guestName();
    CMeetingManager& manager = *CMeetingManager::instance();
    if (!manager.startMeeting({uuid, memberid, memberName})) {
        emit onMeetingError(manager.errCode(), manager.errMsg());
    }
}

void CMeetingCallback::stopMeeting(QString uuid, QString memberid)
{
    qCDebug(lcConference).noquote() << "Tandemlink-CMeetingCallback: stopMeeting paras: " + uuid << memberid;
    if (uuid.isEmpty() || memberid.isEmpty()) {
        emit onMeetingError("201", "invaild parameters");
        return;
    }
    CMeetingManager& manager = *CMeetingManager::instance();
    if (!manager.stopMeeting({uuid, memberid})) {
        emit onMeetingError(manager.errCode(), manager.errMsg());
    }
}

void CMeetingCallback::needLogin()
{
    qCDebug(lcConference) << "Tandemlink-CMeetingCallback: meeting callback need login.";
    if (!CSignedInUser::isSignedIn()) {
        emit showLoginDlg(1);
    }
}

QString CMeetingCallback::getCurMeetingId()
{
    const QString uuid = CMeetingManager::instance()->conferenceUuid();
    return uuid.isEmpty() ? QStringLiteral("null") : uuid;
}

void CMeetingCallback::trackMeetingNow()
{
    CDplusTrack::instance()->track(QStringLiteral("现在开会"));
}

void CMeetingCallback::trackMeetingAppointment()
{
    CDplusTrack::instance()->track(QStringLiteral("预约开会"));
}

long CMeetingCallback::getServerTimeOffset()
{
    // Only the low 32 bits travel, as in a 32-bit long.
    return static_cast<qint32>(static_cast<quint32>(CApiConfig::instance()->timeOffset()));
}
