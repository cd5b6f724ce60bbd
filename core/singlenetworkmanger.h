#pragma once

#include "core/singleton.h"

#include <QNetworkAccessManager>

// Holder of the client's one network access object; every HTTP request goes
// through it, and releasing it aborts whatever is still in flight.
class CSingleNetworkManger
{
    VANTELOR_SINGLETON(CSingleNetworkManger)
public:
    ~CSingleNetworkManger();
    QNetworkAccessManager* manager() const { return m_manager.get(); }

private:
    CSingleNetworkManger();
    std::unique_ptr<QNetworkAccessManager> m_manager;
};
