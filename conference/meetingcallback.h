#pragma once

#include <QObject>
#include <QString>

// The object the conference web page calls over the web channel
// ("MeetingCallback"). It holds no state: the conference manager, its parent,
// does the work and answers the page through these signals.
class CMeetingCallback : public QObject
{
    Q_OBJECT
public:
    explicit CMeetingCallback(QObject* parent = nullptr);

signals:
    void onMeetingStarted(QString uuid);
    void onMeetingStoped(QString uuid);
    void onMeetingError(QString errCode, QString errMsg);
    void getTicket(QString ticket);
    void showLoginDlg(int reason);

public slots:
    void informTicket(QString ticket);
    void startMeeting(QString uuid, QString memberid, QString name);
    void stopMeeting(QString uuid, QString memberid);
    void needLogin();
    QString getCurMeetingId();
    void trackMeetingNow();
    void trackMeetingAppointment();
    long getServerTimeOffset();

private:
    static QString guestName();
};
