#pragma once

#include "core/singleton.h"

#include <QNetworkAccessManager>

// Holder of the client's one network access object; every HTTP request goes
// through it, and releasing it aborts whatever is still in flight. It also
// bounds every request: a reply still running at the time limit, or one
// whose answer grows past the answer cap, is aborted and so fails with
// QNetworkReply::OperationCanceledError on its caller's usual failure path.
class CSingleNetworkManger
{
    VANTELOR_SINGLETON(CSingleNetworkManger)
public:
    ~CSingleNetworkManger();
    QNetworkAccessManager* manager() const { return m_manager.get(); }

    // From the start of a request to its end, and of silence within it.
    static constexpr int kTimeLimitMs = 30000;
    // Every answer the client takes is a JSON envelope or the user photo.
    static constexpr qint64 kMaxAnswerBytes = 4 * 1024 * 1024;

    static int timeLimitMs();
    // Test seam: the time limit of requests made from now on (0 restores it).
    static void setTimeLimitForTesting(int ms);

private:
    CSingleNetworkManger();
    std::unique_ptr<QNetworkAccessManager> m_manager;
};
