#pragma once

#include "projection/p2pdsclientsession.h"
#include "receiver/roomserviceclient.h"

#include <QObject>

#include <atomic>
#include <memory>

// A share by 4-character code: looks the meeting room up at the service and
// streams the screen to its receiver through the projection library, taking
// the room over from whoever shows there. The library's callbacks come on its
// own thread and are handed to this object's thread.
class CRoomShare : public QObject, private IP2PDsClientSessionCb
{
    Q_OBJECT
public:
    // The conference process's own error codes for a share that cannot start.
    enum Error
    {
        UnknownRoom = 3001,
        ReceiverNotAnswering = 3002,
        ServiceUnreachable = 3003,
        ReceiverBusy = 3004,
        ReceiverRefused = 3005,
        CaptureFailed = 3006,
        ServiceRefused = 3007
    };

    // settings null: no service is configured, every start fails as unreachable.
    explicit CRoomShare(const RoomServiceClient::Settings* settings, QObject* parent = nullptr);
    ~CRoomShare() override;

    void start(const QString& code, const QString& sharerName);
    // Ends the share or the attempt; nothing is reported for it.
    void stop();
    bool isIdle() const { return m_state == Idle; }

    static QString message(Error error);

signals:
    void started();
    void failed(int errorCode, const QString& errorMsg);
    // A running share ended from the receiver's side; reason as P2PDsClientSessionProxy::StopReason.
    void ended(int reason);

private:
    enum State
    {
        Idle,
        LookingUp,
        Connecting,
        Running
    };

    void fail(Error error, const QString& why);
    // Runs on this object's thread what a library callback reported, unless
    // the attempt it belongs to is over.
    void post(const std::function<void()>& action);

    void onProjectionSuccess() override;
    void onProjectionRejected(int32_t reason) override;
    void onBusying() override;
    void onProjectionStopped() override;
    void onNoStreamProjectionCommandResponse(int32_t command) override;

    std::unique_ptr<RoomServiceClient> m_client;
    P2PDsClientSessionProxy m_proxy;
    State m_state = Idle;
    QString m_code;
    // Counts attempts; a late answer or callback of an earlier one is dropped.
    std::atomic<int> m_attempt{0};
};
