#include "core/deviceidentity.h"

#include "core/corelog.h"

#include <QDebug>
#include <QNetworkConfigurationManager>
#include <QNetworkInterface>
#include <QNetworkSession>

namespace {
constexpr int kMacLength = 17;
constexpr int kSessionOpenMs = 3000;

struct State
{
    CDeviceIdentity::Sources sources;
    CDeviceIdentity::Identity cache;
};

State& state()
{
    static State s;
    return s;
}

CDeviceIdentity::Interface describe(const QNetworkInterface& networkInterface)
{
    CDeviceIdentity::Interface out;
    out.humanReadableName = networkInterface.humanReadableName();
    out.loopback = networkInterface.flags().testFlag(QNetworkInterface::IsLoopBack);
    out.hardwareAddress = networkInterface.hardwareAddress();
    for (const QNetworkAddressEntry& entry : networkInterface.addressEntries()) {
        out.addresses << entry.ip();
    }
    return out;
}

bool isUsableIpv4(const QHostAddress& address)
{
    return address != QHostAddress(QHostAddress::LocalHost) && address.toIPv4Address() != 0;
}

// Some systems give the loopback device an all-zero hardware address; it
// names no machine, so it counts as none.
bool isRealHardwareAddress(const QString& address)
{
    return !address.isEmpty() && !QString(address).remove(':').remove('0').isEmpty();
}
} // namespace

CDeviceIdentity::Sources CDeviceIdentity::systemSources()
{
    Sources sources;
    sources.activeInterfaces = [] {
        QList<Interface> out;
        QNetworkConfigurationManager manager;
        for (const QNetworkConfiguration& configuration :
             manager.allConfigurations(QNetworkConfiguration::Active)) {
            if (configuration.type() != QNetworkConfiguration::InternetAccessPoint) {
                continue;
            }
            QNetworkSession session(configuration);
            session.open();
            session.waitForOpened(kSessionOpenMs);
            out << describe(session.interface());
        }
        return out;
    };
    sources.allInterfaces = [] {
        QList<Interface> out;
        for (const QNetworkInterface& networkInterface : QNetworkInterface::allInterfaces()) {
            out << describe(networkInterface);
        }
        return out;
    };
    sources.allAddresses = [] { return QNetworkInterface::allAddresses(); };
    return sources;
}

CDeviceIdentity::Identity CDeviceIdentity::resolve(const Sources& sources)
{
    Identity identity;
    const QList<Interface> active =
        sources.activeInterfaces ? sources.activeInterfaces() : QList<Interface>();
    for (const Interface& candidate : active) {
        const QString name = candidate.humanReadableName.toLower();
        if (candidate.loopback || name.contains("vmware") || name.contains("virtual")) {
            continue;
        }
        for (const QHostAddress& address : candidate.addresses) {
            if (isUsableIpv4(address)) {
                identity.ip = address.toString();
                identity.mac = candidate.hardwareAddress;
                break;
            }
        }
        if (!identity.mac.isEmpty()) {
            break;
        }
    }
    if (identity.mac.size() != kMacLength && sources.allInterfaces) {
        for (const Interface& candidate : sources.allInterfaces()) {
            if (!candidate.loopback && isRealHardwareAddress(candidate.hardwareAddress)) {
                identity.mac = candidate.hardwareAddress;
                break;
            }
        }
    }
    if (identity.ip.isEmpty() && sources.allAddresses) {
        for (const QHostAddress& address : sources.allAddresses()) {
            if (isUsableIpv4(address)) {
                identity.ip = address.toString();
                break;
            }
        }
    }
    qCDebug(lcCore).noquote() << "ipAddress: " + identity.ip;
    qCDebug(lcCore).noquote() << "macAddress: " + identity.mac;
    return identity;
}

void CDeviceIdentity::setSourcesForTesting(const Sources& sources)
{
    state().sources = sources;
    state().cache = Identity();
}

QString CDeviceIdentity::identity(bool wantIp)
{
    State& s = state();
    if (s.cache.ip.isEmpty() || s.cache.mac.isEmpty()) {
        s.cache = resolve(s.sources.activeInterfaces ? s.sources : systemSources());
    }
    return wantIp ? s.cache.ip : s.cache.mac;
}

QString deviceIdentity(bool wantIp)
{
    return CDeviceIdentity::identity(wantIp);
}
