#pragma once

#include <functional>
#include <memory>

struct P2PDsClientSettings;
class IP2PDsClientSessionCb;

// The projection library's session as the manager uses it. The library's
// proxy class is concrete; this seam lets tests script a library of their own.
class IProjectionSession
{
public:
    virtual ~IProjectionSession() = default;
    virtual int init() = 0;
    virtual int getIpFromVerfCode(const char* code, char* ip) = 0;
    virtual int startProjection(const P2PDsClientSettings& settings) = 0;
    virtual int cancelProjection() = 0;
    virtual int stopProjection() = 0;
    virtual int terminate() = 0;

    using Factory = std::function<std::unique_ptr<IProjectionSession>(IP2PDsClientSessionCb* callback)>;
    // The real library unless a test installed another factory.
    static std::unique_ptr<IProjectionSession> create(IP2PDsClientSessionCb* callback);
    static void setFactory(Factory factory);
};
