#include "networktest.h"

#include "network/dnscacheresetter.h"
#include "network/networkinterface.h"

#include "platform/winerror.h"

#include <QDir>
#include <QtTest>

using namespace NetworkTest;
using Velmor::HostList;
using Velmor::Private::NetworkInterface;

namespace {

HostList hosts(const QStringList &texts)
{
    return HostList::fromStringList(texts);
}

QChar separatorOf(int type)
{
    return type == 23 ? QLatin1Char(',') : QLatin1Char(' ');
}

// A server to read the addresses of this service from, on a machine root of its own.
struct Fixture
{
    Machine machine;
    ScriptedServer server;
    const QString id = adapterId(1);

    std::unique_ptr<NetworkInterface> adapter(int type = 6)
    {
        return std::make_unique<NetworkInterface>(separatorOf(type), &server, id, QStringLiteral("Ethernet"));
    }
    int restarts()
    {
        DNSCacheResetter::waitForDone();
        return int(machine.dnsClientHistory().count(QStringLiteral("stop")));
    }
};

} // namespace

// One adapter's DNS values: what is read, what is saved, what is written, and what refuses.
class tst_NetworkInterface : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void saveOriginalDns_data();
    void saveOriginalDns();
    void unreadableValueKeepsSavedServers();
    void setNameServersFailures_data();
    void setNameServersFailures();
    void protectAndRestore();
    void protectionNeedsTheSavedServersOnDisk();
    void switchingOnWhenAlreadyActiveWritesNothing();
    void switchingOffLeavesOwnServers();
    void newGroupTakesFirstFreeName();
    void storeOriginalDns_data();
    void storeOriginalDns();
};

void tst_NetworkInterface::roundTrip_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("servers");
    const QStringList all { QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2"), QStringLiteral("192.0.2.3") };
    for (int type : { 6, 71, 23 }) {
        for (int count = 0; count <= 3; ++count)
            QTest::addRow("type %d, %d servers", type, count) << type << all.mid(0, count);
    }
}

// Whatever the separator of the adapter's kind, what is written reads back, both as the current servers and, once
// saved, as the servers to put back.
void tst_NetworkInterface::roundTrip()
{
    QFETCH(int, type);
    QFETCH(QStringList, servers);
    Fixture f;
    f.machine.setValue(f.id, QStringLiteral("DhcpNameServer"), QStringLiteral("192.168.1.1"));
    auto adapter = f.adapter(type);

    QVERIFY(adapter->setNameServers(hosts(servers)));
    QCOMPARE(f.machine.value(f.id, QStringLiteral("NameServer")), servers.join(QLatin1Char(',')));
    const HostList expectedCurrent = servers.isEmpty() ? hosts({ QStringLiteral("192.168.1.1") }) : hosts(servers);
    QCOMPARE(adapter->currentNameServers(), expectedCurrent);

    adapter->saveOriginalDns();
    QCOMPARE(adapter->originalDns(), hosts(servers));
    // A later enumeration reads the same list again.
    QCOMPARE(f.adapter(type)->originalDns(), hosts(servers));
}

void tst_NetworkInterface::saveOriginalDns_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("identification");
    QTest::addColumn<QString>("nameServer");
    QTest::addColumn<QVariant>("storedBefore"); // invalid: absent
    QTest::addColumn<QVariant>("appliedBefore");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("applied");

    const QVariant absent;
    const QVariant resolver(QStringLiteral("198.51.100.53"));
    QTest::newRow("own servers are saved")
        << 6 << 1 << "10.0.0.1 10.0.0.2" << absent << absent << QVariant("10.0.0.1 10.0.0.2") << absent;
    QTest::newRow("commas on an Ethernet adapter")
        << 6 << 1 << "10.0.0.1,10.0.0.2" << absent << absent << QVariant("10.0.0.1 10.0.0.2") << absent;
    QTest::newRow("blanks on a PPP adapter")
        << 23 << 1 << "10.0.0.1 10.0.0.2" << absent << absent << QVariant("10.0.0.1,10.0.0.2") << absent;
    QTest::newRow("malformed part dropped")
        << 6 << 1 << "10.0.0.1 foo 10.0.0.2" << absent << absent << QVariant("10.0.0.1 10.0.0.2") << absent;
    QTest::newRow("IPv6 part dropped") << 6 << 1 << "2001:db8::1 10.0.0.1" << absent << absent << QVariant("10.0.0.1")
                                       << absent;
    QTest::newRow("equal list writes nothing")
        << 6 << 1 << "10.0.0.1" << QVariant("10.0.0.1") << absent << QVariant("10.0.0.1") << absent;
    QTest::newRow("local proxy on the any-address")
        << 6 << 1 << "127.0.0.1" << QVariant("8.8.8.8") << absent << QVariant("8.8.8.8") << absent;
    QTest::newRow("resolver by token") << 6 << 1 << "198.51.100.53" << QVariant("8.8.8.8") << absent
                                       << QVariant("8.8.8.8") << absent;
    QTest::newRow("resolver by IP, nothing stored")
        << 6 << 0 << "198.51.100.53" << absent << absent << absent << absent;
    QTest::newRow("resolver by IP, empty stored")
        << 6 << 0 << "198.51.100.53" << QVariant("") << absent << QVariant("") << absent;
    QTest::newRow("address applied earlier") << 6 << 1 << "127.0.0.2" << QVariant("10.0.0.1") << QVariant("127.0.0.2")
                                             << QVariant("10.0.0.1") << QVariant("127.0.0.2");
    QTest::newRow("off our addresses clears the applied one")
        << 6 << 1 << "10.0.0.9" << QVariant("10.0.0.1") << QVariant("127.0.0.2") << QVariant("10.0.0.9") << absent;
    QTest::newRow("DHCP replaces a saved list")
        << 6 << 1 << "" << QVariant("8.8.8.8") << absent << QVariant("") << absent;
    QTest::newRow("DHCP with nothing saved") << 6 << 1 << "" << absent << absent << absent << absent;
    Q_UNUSED(resolver);
}

void tst_NetworkInterface::saveOriginalDns()
{
    QFETCH(int, type);
    QFETCH(int, identification);
    QFETCH(QString, nameServer);
    QFETCH(QVariant, storedBefore);
    QFETCH(QVariant, appliedBefore);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, applied);
    Fixture f;
    f.server.type = identification;
    f.machine.setValue(f.id, QStringLiteral("NameServer"), nameServer);
    f.machine.setValue(f.id, QStringLiteral("DhcpNameServer"), QStringLiteral("192.168.1.1"));
    f.machine.settings().setValue(QStringLiteral("interfaces/i0/guid"), f.id);
    if (storedBefore.isValid())
        f.machine.settings().setValue(QStringLiteral("interfaces/i0/originalDns"), storedBefore);
    if (appliedBefore.isValid())
        f.machine.settings().setValue(QStringLiteral("interfaces/i0/appliedDns"), appliedBefore);
    f.machine.settings().sync();

    // The constructor saves.
    auto adapter = f.adapter(type);
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("originalDns")), stored);
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("appliedDns")), applied);
}

void tst_NetworkInterface::unreadableValueKeepsSavedServers()
{
    Fixture f;
    f.machine.setValue(f.id, QStringLiteral("NameServer"), QStringLiteral("10.0.0.1"));
    f.adapter().reset();
    f.machine.corruptKey(f.id);
    f.adapter().reset();
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("originalDns")), QVariant("10.0.0.1"));
}

void tst_NetworkInterface::setNameServersFailures_data()
{
    QTest::addColumn<QStringList>("servers");
    QTest::addColumn<QString>("dhcp");
    QTest::addColumn<quint32>("refusal");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    const QStringList one { QStringLiteral("10.0.0.1") };
    QTest::newRow("empty list hands back to DHCP") << QStringList() << "192.168.1.1" << 0u << 0 << "";
    QTest::newRow("empty list without DHCP") << QStringList() << "" << 0u << 4 << "DHCP Unavailable";
    QTest::newRow("malformed DHCP value counts as none") << QStringList() << "foo" << 0u << 4 << "DHCP Unavailable";
    QTest::newRow("key refuses: access") << one << "" << 5u << 5 << "Access denied";
    QTest::newRow("key refuses: I/O") << one << "" << 1016u << 5 << "Unexpected registry write error: 1016";
    QTest::newRow("key refuses: invalid parameter") << one << "" << 87u << 5 << "Unexpected registry write error: 87";
}

void tst_NetworkInterface::setNameServersFailures()
{
    QFETCH(QStringList, servers);
    QFETCH(QString, dhcp);
    QFETCH(quint32, refusal);
    QFETCH(int, code);
    QFETCH(QString, message);
    Fixture f;
    f.machine.setValue(f.id, QStringLiteral("NameServer"), QStringLiteral("10.9.9.9"));
    f.machine.setValue(f.id, QStringLiteral("DhcpNameServer"), dhcp);
    auto adapter = f.adapter();
    const int restartsBefore = f.restarts();
    if (refusal)
        f.machine.refuseWrites(f.id, refusal);
    if (code == 4)
        QTest::ignoreMessage(QtWarningMsg, "can't do dhcpReset. dhcp unavailable");

    QCOMPARE(adapter->setNameServers(hosts(servers)), code == 0);
    QCOMPARE(int(adapter->lastError().code()), code);
    QCOMPARE(adapter->lastError().message(), message);
    QCOMPARE(f.machine.value(f.id, QStringLiteral("NameServer")), code ? QStringLiteral("10.9.9.9") : QString());
    // Only a write that happened asks for a DNS client restart.
    QCOMPARE(f.restarts(), restartsBefore + (code ? 0 : 1));
}

void tst_NetworkInterface::protectAndRestore()
{
    Fixture f;
    f.machine.setValue(f.id, QStringLiteral("NameServer"), QStringLiteral("192.168.1.1"));
    auto adapter = f.adapter();

    QVERIFY(adapter->setProtected(true));
    QCOMPARE(f.machine.value(f.id, QStringLiteral("NameServer")), QStringLiteral("127.0.0.1"));
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("originalDns")), QVariant("192.168.1.1"));
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("appliedDns")), QVariant("127.0.0.1"));
    QCOMPARE(f.restarts(), 1);

    QVERIFY(adapter->setProtected(false));
    QCOMPARE(f.machine.value(f.id, QStringLiteral("NameServer")), QStringLiteral("192.168.1.1"));
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("appliedDns")), QVariant());
    QCOMPARE(f.restarts(), 2);
}

// A settings folder that cannot be written (here swapped for a file, which refuses root too) stops the write of
// the active address: the servers to put back would exist only in memory.
void tst_NetworkInterface::protectionNeedsTheSavedServersOnDisk()
{
    Fixture f;
    f.machine.setValue(f.id, QStringLiteral("NameServer"), QStringLiteral("192.168.1.1"));
    const QString folder = f.machine.path(QStringLiteral("settings/Velmor"));
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QDir().mkpath(f.machine.path(QStringLiteral("settings"))));
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto adapter = f.adapter();

    QVERIFY(!adapter->setProtected(true));
    QCOMPARE(adapter->lastError().code(), 5u);
    QCOMPARE(adapter->lastError().message(), QStringLiteral("Access denied"));
    QCOMPARE(f.machine.value(f.id, QStringLiteral("NameServer")), QStringLiteral("192.168.1.1"));
    QCOMPARE(f.restarts(), 0);
}

void tst_NetworkInterface::switchingOnWhenAlreadyActiveWritesNothing()
{
    Fixture f;
    f.machine.setValue(f.id, QStringLiteral("NameServer"), QStringLiteral("127.0.0.1,10.0.0.1"));
    f.machine.refuseWrites(f.id, Velmor::Platform::ErrorAccessDenied);
    auto adapter = f.adapter();
    QVERIFY(adapter->setProtected(true));
    QCOMPARE(f.restarts(), 0);
}

void tst_NetworkInterface::switchingOffLeavesOwnServers()
{
    Fixture f;
    f.machine.setValue(f.id, QStringLiteral("NameServer"), QStringLiteral("10.0.0.1"));
    auto adapter = f.adapter();
    f.machine.refuseWrites(f.id, Velmor::Platform::ErrorAccessDenied);
    // Not on an address of this service: nothing to take back, nothing written.
    QVERIFY(adapter->setProtected(false));
    QCOMPARE(f.restarts(), 0);

    // On the local proxy with nothing saved and no DHCP servers: nothing to give back.
    Fixture g;
    g.machine.setValue(g.id, QStringLiteral("NameServer"), QStringLiteral("127.0.0.1"));
    auto stuck = g.adapter();
    QTest::ignoreMessage(QtWarningMsg, "can't do dhcpReset. dhcp unavailable");
    QVERIFY(!stuck->setProtected(false));
    QCOMPARE(stuck->lastError().code(), 4u);
}

void tst_NetworkInterface::newGroupTakesFirstFreeName()
{
    Fixture f;
    QSettings &settings = f.machine.settings();
    settings.setValue(QStringLiteral("interfaces/i0/guid"), adapterId(7));
    settings.setValue(QStringLiteral("interfaces/i2/guid"), adapterId(8));
    settings.setValue(QStringLiteral("interfaces/i2/originalDns"), QStringLiteral("10.8.8.8"));
    settings.sync();

    f.machine.setValue(f.id, QStringLiteral("NameServer"), QStringLiteral("10.0.0.1"));
    f.machine.setValue(adapterId(8), QStringLiteral("NameServer"), QStringLiteral("127.0.0.1"));
    f.adapter().reset();
    QCOMPARE(f.machine.groupOf(f.id), QStringLiteral("i1"));
    // The group of another adapter is found again, with what it kept.
    NetworkInterface other(QLatin1Char(' '), &f.server, adapterId(8), QStringLiteral("Other"));
    QCOMPARE(other.originalDns(), hosts({ QStringLiteral("10.8.8.8") }));
    QCOMPARE(f.machine.groupOf(adapterId(8)), QStringLiteral("i2"));
}

void tst_NetworkInterface::storeOriginalDns_data()
{
    QTest::addColumn<QStringList>("servers");
    QTest::addColumn<bool>("stored");

    QTest::newRow("own servers") << QStringList { QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2") } << true;
    QTest::newRow("the local proxy") << QStringList { QStringLiteral("10.0.0.1"), QStringLiteral("127.0.0.1") }
                                     << false;
    QTest::newRow("the filtering resolver") << QStringList { QStringLiteral("198.51.100.53") } << false;
    QTest::newRow("an address applied earlier") << QStringList { QStringLiteral("127.0.0.2") } << false;
    QTest::newRow("an IPv6 address") << QStringList { QStringLiteral("2001:db8::1") } << false;
}

void tst_NetworkInterface::storeOriginalDns()
{
    QFETCH(QStringList, servers);
    QFETCH(bool, stored);
    Fixture f;
    f.machine.setValue(f.id, QStringLiteral("NameServer"), QStringLiteral("127.0.0.2"));
    f.machine.settings().setValue(QStringLiteral("interfaces/i0/guid"), f.id);
    f.machine.settings().setValue(QStringLiteral("interfaces/i0/originalDns"), QStringLiteral("10.5.5.5"));
    f.machine.settings().setValue(QStringLiteral("interfaces/i0/appliedDns"), QStringLiteral("127.0.0.2"));
    f.machine.settings().sync();
    auto adapter = f.adapter(23);

    QCOMPARE(adapter->storeOriginalDns(hosts(servers)), stored);
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("originalDns")),
        QVariant(stored ? servers.join(QLatin1Char(',')) : QStringLiteral("10.5.5.5")));
    if (!stored)
        QCOMPARE(adapter->lastError().code(), 1u);
}

QTEST_GUILESS_MAIN(tst_NetworkInterface)
#include "tst_networkinterface.moc"
