#include "machinefixture.h"

#include "diagnostics/adapterinfo.h"

#include "platform/winerror.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>

using namespace Velmor::Platform;

class tst_AdapterInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listsRunningAdapters_data();
    void listsRunningAdapters();
    void growsTheBufferForManyAdapters();
    void givesUpAfterTenOverflows();
    void otherFailureGivesNothing();
    void ifTypeNames_data();
    void ifTypeNames();
    void flagNames();
    void ipv6WithScope();
};

namespace {

QString describe(const QList<AdapterInfo> &adapters)
{
    QStringList lines;
    for (const AdapterInfo &adapter : adapters) {
        QStringList unicast;
        for (const QHostAddress &address : adapter.unicastAddresses)
            unicast.append(address.toString());
        QStringList dns;
        for (const QHostAddress &address : adapter.dnsServers)
            dns.append(address.toString());
        lines.append(QStringLiteral("%1 %2 type %3 [%4] dns [%5]")
                         .arg(adapter.adapterName, adapter.friendlyName, QString::number(adapter.ifType),
                             unicast.join(QLatin1Char(' ')), dns.join(QLatin1Char(' '))));
    }
    return lines.join(QLatin1Char('\n'));
}

const char loopback[]
    = R"({"id":"{LO}","index":1,"name":"Loopback","type":24,"up":true,"addresses":["127.0.0.1","::1"]})";

} // namespace

void tst_AdapterInfo::listsRunningAdapters_data()
{
    QTest::addColumn<QByteArray>("adapters");
    QTest::addColumn<QString>("nameServer");
    QTest::addColumn<QString>("dhcpNameServer");
    QTest::addColumn<QString>("expected");

    const QByteArray ethernet
        = R"({"id":"{E}","index":7,"name":"Ethernet","type":6,"up":true,"addresses":["192.168.1.20","fe80::1"]})";
    QTest::newRow("ethernet with both families beside the loopback")
        << QByteArray("[") + loopback + "," + ethernet + "]"
        << "127.0.0.1 ::1"
        << ""
        << "{E} Ethernet type 6 [192.168.1.20 fe80::1] dns [127.0.0.1 ::1]";
    QTest::newRow("only loopbacks") << QByteArray("[") + loopback + "]"
                                    << ""
                                    << ""
                                    << "";
    QTest::newRow("an adapter that is down is left out")
        << QByteArray(R"([{"id":"{E}","index":7,"name":"Ethernet","type":6,"up":false,"addresses":["192.168.1.20"]}])")
        << "8.8.8.8"
        << ""
        << "";
    QTest::newRow("no unicast address") << QByteArray(
        R"([{"id":"{E}","index":7,"name":"Ethernet","type":6,"up":true,"addresses":[]}])")
                                        << ""
                                        << "10.0.0.1"
                                        << "{E} Ethernet type 6 [] dns [10.0.0.1]";
    QTest::newRow("servers from DHCP when none are set")
        << QByteArray("[") + ethernet + "]"
        << ""
        << "192.168.1.1,8.8.4.4"
        << "{E} Ethernet type 6 [192.168.1.20 fe80::1] dns [192.168.1.1 8.8.4.4]";
    QTest::newRow("set servers win over DHCP's") << QByteArray("[") + ethernet + "]"
                                                 << "127.0.0.1"
                                                 << "192.168.1.1"
                                                 << "{E} Ethernet type 6 [192.168.1.20 fe80::1] dns [127.0.0.1]";
}

void tst_AdapterInfo::listsRunningAdapters()
{
    QFETCH(QByteArray, adapters);
    QFETCH(QString, nameServer);
    QFETCH(QString, dhcpNameServer);
    QFETCH(QString, expected);
    MachineFixture machine;
    QVERIFY(machine.setMachine("{\"adapters\":" + adapters + ",\"routes\":[]}"));
    QVERIFY(machine.setDnsServers(QStringLiteral("{E}"), nameServer, dhcpNameServer));
    QCOMPARE(describe(enabledAdapters()), expected);
}

void tst_AdapterInfo::growsTheBufferForManyAdapters()
{
    MachineFixture machine;
    QByteArray adapters;
    const int count = 80;
    for (int i = 0; i < count; ++i) {
        adapters += (i ? "," : "")
            + QStringLiteral(
                R"({"id":"{A%1}","index":%2,"name":"Adapter number %1","type":6,"addresses":["10.0.%1.2"]})")
                  .arg(i)
                  .arg(i + 10)
                  .toLatin1();
    }
    QVERIFY(machine.setMachine("{\"adapters\":[" + adapters + "]}"));
    quint32 needed = 0;
    QCOMPARE(
        IpHelper::getAdaptersAddresses(IpHelper::FamilyUnspecified, 0, nullptr, &needed), quint32(ErrorBufferOverflow));
    QVERIFY2(needed > 15000, "the list must not fit the first buffer");

    int calls = 0;
    const QList<AdapterInfo> listed
        = enabledAdapters([&calls](quint32 family, quint32 flags, IpHelper::AdapterAddresses *buffer, quint32 *size) {
              ++calls;
              return IpHelper::getAdaptersAddresses(family, flags, buffer, size);
          });
    QCOMPARE(listed.size(), count);
    QCOMPARE(listed.last().friendlyName, QStringLiteral("Adapter number 79"));
    QCOMPARE(calls, 2);
}

void tst_AdapterInfo::givesUpAfterTenOverflows()
{
    QList<quint32> sizes;
    const QList<AdapterInfo> listed
        = enabledAdapters([&sizes](quint32, quint32, IpHelper::AdapterAddresses *, quint32 *size) {
              sizes.append(*size);
              *size += 1000; // a list that keeps growing
              return quint32(ErrorBufferOverflow);
          });
    QVERIFY(listed.isEmpty());
    QCOMPARE(sizes.size(), 10);
    QCOMPARE(sizes.at(0), 15000u);
    QCOMPARE(sizes.at(1), 32000u);
}

void tst_AdapterInfo::otherFailureGivesNothing()
{
    MachineFixture machine;
    QVERIFY(machine.setMachine(
        R"({"adapters":[{"id":"{E}","index":7,"type":6,"addresses":["10.0.0.2"]}],"failures":{"GetAdaptersAddresses":8}})"));
    QVERIFY(enabledAdapters().isEmpty());
}

void tst_AdapterInfo::ifTypeNames_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::newRow("ethernet") << 6 << "ETHERNET_CSMACD";
    QTest::newRow("wireless") << 71 << "IEEE80211";
    QTest::newRow("ppp") << 23 << "IF_TYPE_PPP";
    QTest::newRow("tunnel") << 131 << "TUNNEL";
    QTest::newRow("firewire") << 144 << "IEEE1394";
    QTest::newRow("unknown") << 53 << "";
}

void tst_AdapterInfo::ifTypeNames()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    IpHelper::AdapterAddresses entry {};
    char adapterName[] = "{X}";
    char16_t friendly[] = u"X";
    entry.adapterName = adapterName;
    entry.friendlyName = friendly;
    entry.ifType = quint32(type);
    QCOMPARE(ifTypeName(AdapterInfo(&entry)), name);
}

void tst_AdapterInfo::flagNames()
{
    IpHelper::AdapterAddresses entry {};
    char adapterName[] = "{X}";
    char16_t friendly[] = u"X";
    entry.adapterName = adapterName;
    entry.friendlyName = friendly;
    entry.flags = 0x4 | 0x80 | 0x100;
    QCOMPARE(adapterFlagNames(AdapterInfo(&entry)),
        QStringLiteral("IP_ADAPTER_DHCP_ENABLEDIP_ADAPTER_IPV4_ENABLEDIP_ADAPTER_IPV6_ENABLED"));
}

void tst_AdapterInfo::ipv6WithScope()
{
    sockaddr_in6 address {};
    address.sin6_family = AF_INET6;
    inet_pton(AF_INET6, "fe80::1", &address.sin6_addr);
    address.sin6_scope_id = 3;
    QCOMPARE(sockaddrToString(reinterpret_cast<sockaddr *>(&address), sizeof address), QStringLiteral("fe80::1%3"));
    QCOMPARE(sockaddrToString(reinterpret_cast<sockaddr *>(&address), 4), QString());
}

QTEST_GUILESS_MAIN(tst_AdapterInfo)
#include "tst_adapterinfo.moc"
