#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

// The client's IPv4 address text and MAC address text; the MAC is the device
// id of the whole client. Computed once per run, on first use.
class CDeviceIdentity
{
public:
    struct Interface
    {
        QString humanReadableName;
        bool loopback = false;
        QString hardwareAddress;
        QList<QHostAddress> addresses;
    };

    // Where the identity is read from; the system's by default, replaceable by tests.
    struct Sources
    {
        // Interfaces of the active internet access points, each taken from a
        // network session opened on it, in configuration order.
        std::function<QList<Interface>()> activeInterfaces;
        std::function<QList<Interface>()> allInterfaces;
        std::function<QList<QHostAddress>()> allAddresses;
    };

    struct Identity
    {
        QString ip;
        QString mac;
    };

    // The cached identity, computed from the current sources when incomplete.
    static QString identity(bool wantIp);

    // One computation from the given sources, with every fall-back.
    static Identity resolve(const Sources& sources);
    static Sources systemSources();

    // Test seam: other sources (an empty Sources returns to the system's);
    // the cache is forgotten either way.
    static void setSourcesForTesting(const Sources& sources);
};

// The IP text when wantIp is true, the MAC text otherwise.
QString deviceIdentity(bool wantIp);
