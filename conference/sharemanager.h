#pragma once

#include "core/singleton.h"

#include <QJsonObject>
#include <QObject>
#include <QStringList>

// Projects the screen to a receiver named by a 4-character code, through the
// conference process.
class CShareManager : public QObject
{
    Q_OBJECT
    VANTELOR_SINGLETON(CShareManager)
public:
    ~CShareManager() override;

    bool start(const QStringList& codes);
    bool stop();
    bool isSharing() const { return m_sharing; }

    // Test seam: how long a start and a stop may go unanswered, 20000 and 12000 ms.
    static void setNoResponseTimeouts(int startMs, int stopMs);

signals:
    void shareManagerError(QString errCode, QString errMsg);
    void shareManagerStarted();
    void shareManagerStoped();
    // A stop the process refused: the share goes on.
    void shareManagerStopFailed(QString errCode, QString errMsg);

private slots:
    void onShareStarted();
    void onShareStoped();
    void onShareError(QString errCode, QString errMsg);
    void onShareStopFailed(QString errCode, QString errMsg);
    void onSDKNoResponse();

private:
    CShareManager();
    bool send(const QJsonObject& cmd, int noResponseMs);

    QStringList m_codes;
    bool m_sharing = false;
    bool m_waiting = false;
    int m_pending = 0;
};
