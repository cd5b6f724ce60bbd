#include "core/deviceidentity.h"
#include "support/testenvironment.h"

#include <QNetworkInterface>
#include <QtTest>

using Interface = CDeviceIdentity::Interface;
Q_DECLARE_METATYPE(QList<CDeviceIdentity::Interface>)
Q_DECLARE_METATYPE(QList<QHostAddress>)

// The client's IP and MAC texts with their fall-backs, from made-up adapters
// and from this machine's own.
class TestDeviceIdentity : public QObject
{
    Q_OBJECT
public:
    static void initMain() { TestEnvironment::isolateClient(); }

private slots:
    void cleanup() { CDeviceIdentity::setSourcesForTesting({}); }

    void fallBacks_data()
    {
        QTest::addColumn<QList<Interface>>("active");
        QTest::addColumn<QList<Interface>>("all");
        QTest::addColumn<QList<QHostAddress>>("addresses");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("mac");

        const Interface ethernet = adapter("以太网", "3C:7C:3F:12:34:56", {"fe80::1", "192.168.1.20"});
        const Interface wifi = adapter("WLAN", "A4:B1:C1:00:00:02", {"10.0.0.7"});
        const Interface vmware =
            adapter("VMware Network Adapter VMnet8", "00:50:56:C0:00:08", {"192.168.56.1"});
        const Interface virtualBox =
            adapter("VirtualBox Host-Only Network", "0A:00:27:00:00:05", {"192.168.99.1"});
        Interface loopback = adapter("Loopback Pseudo-Interface 1", "", {"127.0.0.1"});
        loopback.loopback = true;
        const Interface linuxLoopback = [] {
            Interface lo = adapter("lo", "00:00:00:00:00:00", {"127.0.0.1"});
            lo.loopback = true;
            return lo;
        }();
        const Interface onlyLocalhost = adapter("Ethernet 2", "11:22:33:44:55:66", {"127.0.0.1", "0.0.0.0"});
        const QList<QHostAddress> hostAddresses = {QHostAddress("127.0.0.1"), QHostAddress("::1"),
                                                   QHostAddress("172.16.5.9")};

        QTest::newRow("first usable adapter")
            << QList<Interface>{ethernet, wifi} << QList<Interface>{wifi} << hostAddresses << "192.168.1.20"
            << "3C:7C:3F:12:34:56";
        QTest::newRow("loopback and virtual adapters skipped")
            << QList<Interface>{loopback, vmware, virtualBox, wifi} << QList<Interface>{} << hostAddresses
            << "10.0.0.7"
            << "A4:B1:C1:00:00:02";
        QTest::newRow("only a VMware adapter is active")
            << QList<Interface>{vmware} << QList<Interface>{linuxLoopback, loopback, vmware, wifi}
            << hostAddresses << "172.16.5.9"
            << "00:50:56:C0:00:08";
        QTest::newRow("adapter without a usable IPv4 address")
            << QList<Interface>{onlyLocalhost, wifi} << QList<Interface>{} << hostAddresses << "10.0.0.7"
            << "A4:B1:C1:00:00:02";
        QTest::newRow("short hardware address") << QList<Interface>{adapter("PPP", "00:01", {"100.64.0.1"})}
                                                << QList<Interface>{ethernet} << hostAddresses << "100.64.0.1"
                                                << "3C:7C:3F:12:34:56";
        QTest::newRow("nothing active") << QList<Interface>{} << QList<Interface>{linuxLoopback, ethernet}
                                        << hostAddresses << "172.16.5.9"
                                        << "3C:7C:3F:12:34:56";
        QTest::newRow("no network at all")
            << QList<Interface>{} << QList<Interface>{linuxLoopback}
            << QList<QHostAddress>{QHostAddress("127.0.0.1"), QHostAddress("::1")} << ""
            << "";
    }
    void fallBacks()
    {
        QFETCH(QList<Interface>, active);
        QFETCH(QList<Interface>, all);
        QFETCH(QList<QHostAddress>, addresses);
        QFETCH(QString, ip);
        QFETCH(QString, mac);
        CDeviceIdentity::setSourcesForTesting(sources(active, all, addresses));
        QCOMPARE(deviceIdentity(true), ip);
        QCOMPARE(deviceIdentity(false), mac);
    }

    void computedOnceWhenComplete()
    {
        int computations = 0;
        CDeviceIdentity::Sources counting =
            sources({adapter("Ethernet", "3C:7C:3F:12:34:56", {"192.168.1.20"})}, {}, {});
        const auto active = counting.activeInterfaces;
        counting.activeInterfaces = [&computations, active] {
            ++computations;
            return active();
        };
        CDeviceIdentity::setSourcesForTesting(counting);
        QTest::ignoreMessage(QtDebugMsg, "ipAddress: 192.168.1.20");
        QTest::ignoreMessage(QtDebugMsg, "macAddress: 3C:7C:3F:12:34:56");
        QCOMPARE(deviceIdentity(false), QString("3C:7C:3F:12:34:56"));
        QCOMPARE(deviceIdentity(true), QString("192.168.1.20"));
        QCOMPARE(deviceIdentity(false), QString("3C:7C:3F:12:34:56"));
        QCOMPARE(computations, 1);
    }

    // This machine's own adapters, through the network sessions.
    void systemIdentityNamesARealAdapter()
    {
        bool hasAdapter = false;
        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            hasAdapter =
                hasAdapter || (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback());
        }
        if (!hasAdapter) {
            QSKIP("this machine has no network adapter with an IPv4 address");
        }
        const QString mac = deviceIdentity(false);
        QCOMPARE(mac.size(), 17);
        QVERIFY(mac != "00:00:00:00:00:00");
        bool known = false;
        for (const QNetworkInterface& networkInterface : QNetworkInterface::allInterfaces()) {
            known = known || networkInterface.hardwareAddress() == mac;
        }
        QVERIFY(known);
        const QHostAddress ip(deviceIdentity(true));
        QCOMPARE(ip.protocol(), QAbstractSocket::IPv4Protocol);
        QVERIFY(ip != QHostAddress(QHostAddress::LocalHost));
        QVERIFY(QNetworkInterface::allAddresses().contains(ip));
    }

private:
    static Interface adapter(const QString& name, const QString& mac, const QStringList& addresses)
    {
        Interface out;
        out.humanReadableName = name;
        out.hardwareAddress = mac;
        for (const QString& address : addresses) {
            out.addresses << QHostAddress(address);
        }
        return out;
    }

    static CDeviceIdentity::Sources sources(const QList<Interface>& active, const QList<Interface>& all,
                                            const QList<QHostAddress>& addresses)
    {
        CDeviceIdentity::Sources out;
        out.activeInterfaces = [active] { return active; };
        out.allInterfaces = [all] { return all; };
        out.allAddresses = [addresses] { return addresses; };
        return out;
    }
};

QTEST_GUILESS_MAIN(TestDeviceIdentity)
#include "tst_deviceidentity.moc"
