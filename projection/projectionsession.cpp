#include "projection/projectionsession.h"

#include "projection/p2pdsclientsession.h"

namespace {
class CLibrarySession : public IProjectionSession
{
public:
    explicit CLibrarySession(IP2PDsClientSessionCb* callback) : m_proxy(callback) {}
    int init() override { return m_proxy.init(); }
    int getIpFromVerfCode(const char* code, char* ip) override { return m_proxy.getIpFromVerfCode(code, ip); }
    int startProjection(const P2PDsClientSettings& settings) override
    {
        return m_proxy.startProjection(settings);
    }
    int cancelProjection() override { return m_proxy.cancelProjection(); }
    int stopProjection() override { return m_proxy.stopProjection(); }
    int terminate() override { return m_proxy.terminate(); }

private:
    P2PDsClientSessionProxy m_proxy;
};

IProjectionSession::Factory& factory()
{
    static IProjectionSession::Factory current;
    return current;
}
} // namespace

std::unique_ptr<IProjectionSession> IProjectionSession::create(IP2PDsClientSessionCb* callback)
{
    if (factory()) {
        return factory()(callback);
    }
    return std::make_unique<CLibrarySession>(callback);
}

void IProjectionSession::setFactory(Factory newFactory)
{
    factory() = std::move(newFactory);
}
