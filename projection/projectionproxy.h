#pragma once

#include "projection/p2pdsclientsession.h"
#include "projection/projectionsession.h"

#include <atomic>
#include <memory>

// The callback object handed to the projection library. Callbacks come from a
// library thread and touch nothing but the atomic projecting flag (and the
// session, to cancel a refused attempt).
class CProjectionProxy : public IP2PDsClientSessionCb
{
public:
    void onProjectionSuccess() override;
    void onProjectionRejected(int32_t reason) override;
    void onBusying() override;
    void onProjectionStopped() override;
    void onNoStreamProjectionCommandResponse(int32_t command) override;

    // Cancels an attempt that has not succeeded, or stops a running one.
    int cancelOrStop();

    std::unique_ptr<IProjectionSession> session;
    std::atomic<bool> projecting{false};
    // Counts successes, so that a projection that starts and ends between two
    // looks at the flag is still seen to have started.
    std::atomic<unsigned> successes{0};
};
