#pragma once

#include "core/singleton.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class CMeetingCallback;
class QWebChannel;

// Joins and leaves video conferences for the conference web page through the
// conference process, and answers the page through the web bridge.
class CMeetingManager : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CMeetingManager)
public:
    ~CMeetingManager() override;

    // paras: conference id, member id, member name.
    bool startMeeting(const QStringList& paras);
    // paras: conference id, member id.
    bool stopMeeting(const QStringList& paras);
    QString errCode() const { return m_errCode; }
    QString errMsg() const { return m_errMsg; }
    QString conferenceUuid() const { return m_conferenceUuid; }
    bool isInMeeting() const { return m_inMeeting; }
    QWebChannel* getWebChannel();

    // errCode raised on the page when the process could not leave the
    // conference (it goes on).
    static constexpr const char* kErrCodeLeaveFailed = "206";

    // Test seam: how long a command may go unanswered, 15000 ms.
    static void setNoResponseTimeout(int ms);

signals:
    void showLoginDlg(int reason);

private slots:
    void onMeetingStarted();
    void onMeetingStoped();
    void onMeetingError(QString errMsg);
    void onMeetingStopFailed(QString errMsg);
    void onSDKNoResponse();

private:
    CMeetingManager();
    void ensureBridge();
    bool refuse(const QString& errCode, const QString& errMsg, bool logged);
    void armNoResponseTimer();

    bool m_inMeeting = false;
    bool m_waiting = false;
    int m_pending = 0;
    QString m_conferenceUuid;
    QString m_memberId;
    QString m_errMsg;
    QString m_errCode;
    QPointer<CMeetingCallback> m_callback;
    QPointer<QWebChannel> m_channel;
};
