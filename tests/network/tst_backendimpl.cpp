#include "networktest.h"

#include "network/backend.h"
#include "network/backendimpl.h"
#include "network/dnscacheresetter.h"

#include "platform/iphelper.h"
#include "platform/servicemanager.h"
#include "platform/winerror.h"

#include <QDirIterator>
#include <QtTest>

using namespace NetworkTest;
using namespace Velmor::Platform;

namespace {

struct Fixture
{
    Machine machine;
    ScriptedServer server;
    Velmor::Backend *backend = new Velmor::Backend(&server);

    QStringList networkIds()
    {
        QStringList ids;
        const QList<Velmor::Network> networks = backend->networks();
        for (const Velmor::Network &network : networks)
            ids.append(network.id);
        return ids;
    }
};

} // namespace

// The adapter list, the default route, and the per-network operations of the backend implementation.
class tst_BackendImpl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keepsEthernetWirelessAndPpp();
    void overflowIsFollowedByALargerCall();
    void enumerationFailure_data();
    void enumerationFailure();
    void defaultRoute_data();
    void defaultRoute();
    void networksShowTheRememberedChoice();
    void unknownNetwork();
    void savedServersOutliveARun();
    void startStartsAClientLeftStoppedByARestart_data();
    void startStartsAClientLeftStoppedByARestart();
    void noFileIsNamedAfterARegistryPath();
    void baseImplementationCannotProtect();
};

void tst_BackendImpl::keepsEthernetWirelessAndPpp()
{
    Fixture f;
    f.machine.writeMachine({ Adapter { adapterId(1), QStringLiteral("Ethernet"), 6, { QStringLiteral("10.0.0.2") } },
        Adapter {
            adapterId(2), QStringLiteral("Loopback"), IpHelper::TypeSoftwareLoopback, { QStringLiteral("127.0.0.1") } },
        Adapter { adapterId(3), QStringLiteral("Tunnel"), IpHelper::TypeTunnel, { QStringLiteral("10.8.0.2") } },
        Adapter { adapterId(4), QStringLiteral("Wi-Fi"), 71, { QStringLiteral("192.168.1.20") } },
        Adapter { adapterId(5), QStringLiteral("Dial-up"), 23, { QStringLiteral("10.64.0.9") } },
        Adapter { adapterId(6), QStringLiteral("Other"), 1, {} } });
    QVERIFY(f.backend->start());
    const QList<Velmor::Network> networks = f.backend->networks();
    QCOMPARE(networks.size(), 3);
    QCOMPARE(networks.at(0).id, adapterId(1));
    QCOMPARE(networks.at(0).name, QStringLiteral("Ethernet"));
    QCOMPARE(networks.at(1).name, QStringLiteral("Wi-Fi"));
    QCOMPARE(networks.at(2).name, QStringLiteral("Dial-up"));
    QVERIFY(f.backend->stop());
}

void tst_BackendImpl::overflowIsFollowedByALargerCall()
{
    Fixture f;
    const QList<Adapter> adapters = ethernetAdapters(40);
    f.machine.writeMachine(adapters);
    for (const Adapter &adapter : adapters)
        f.machine.setValue(adapter.id, QStringLiteral("DhcpNameServer"), QStringLiteral("192.168.1.1"));
    QVERIFY(f.backend->start());
    QCOMPARE(f.networkIds().size(), 40);
    QCOMPARE(f.networkIds().last(), adapterId(40));
    f.backend->stop();
}

void tst_BackendImpl::enumerationFailure_data()
{
    QTest::addColumn<QByteArray>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("8") << QByteArray("8") << "GetAdaptersAddresses failed: ERROR_NOT_ENOUGH_MEMORY";
    QTest::newRow("87") << QByteArray("87") << "GetAdaptersAddresses failed: ERROR_INVALID_PARAMETER";
    QTest::newRow("232") << QByteArray("232") << "GetAdaptersAddresses failed: ERROR_NO_DATA";
    QTest::newRow("1228") << QByteArray("1228") << "GetAdaptersAddresses failed: ERROR_ADDRESS_NOT_ASSOCIATED";
    QTest::newRow("5, the system's text") << QByteArray("5") << "GetAdaptersAddresses failed: Access is denied.";
    QTest::newRow("111 without end") << QByteArray("111") << "GetAdaptersAddresses failed: The file name is too long.";
    QTest::newRow("unknown code, no text") << QByteArray("4242") << "GetAdaptersAddresses failed: ";
    QTest::newRow("file that does not parse") << QByteArray() << "GetAdaptersAddresses failed: The data is invalid.";
}

// A failed enumeration is error 6 with the reason, leaves no adapters and is tried again at the next refresh.
void tst_BackendImpl::enumerationFailure()
{
    QFETCH(QByteArray, failure);
    QFETCH(QString, message);
    Fixture f;
    if (failure.isEmpty())
        f.machine.writeMachineText("{\"adapters\":");
    else
        f.machine.writeMachineText(
            R"({"adapters":[{"id":"{A}","index":1,"type":6}],"failures":{"GetAdaptersAddresses":)" + failure + "}}");
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("Invalidate failed: ") + message));
    QVERIFY(!f.backend->start());
    QCOMPARE(f.backend->lastError().code(), 6u);
    QCOMPARE(f.backend->lastError().message(), message);
    QCOMPARE(f.backend->defaultRouteId(), QString());

    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("Invalidate failed: ") + message));
    QCOMPARE(f.networkIds(), QStringList());

    f.machine.writeMachine(ethernetAdapters(1));
    QCOMPARE(f.networkIds(), QStringList { adapterId(1) });
    f.backend->stop();
}

void tst_BackendImpl::defaultRoute_data()
{
    QTest::addColumn<QStringList>("routes"); // "destination nextHop interfaceIndex metric"
    QTest::addColumn<QStringList>("dhcpGateways"); // per adapter, comma-separated
    QTest::addColumn<QStringList>("staticGateways");
    QTest::addColumn<int>("expected"); // adapter number, 0 for none

    const QStringList none { "", "", "" };
    QTest::newRow("gateway by DHCP") << QStringList { "0.0.0.0 192.168.2.1 2 25" }
                                     << QStringList { "", "192.168.2.1", "" } << none << 2;
    QTest::newRow("static gateway first")
        << QStringList { "0.0.0.0 10.9.9.1 1 25" } << none << QStringList { "", "", "10.9.9.1" } << 3;
    QTest::newRow("lower metric wins") << QStringList { "0.0.0.0 192.168.1.1 1 20", "0.0.0.0 192.168.2.1 2 10" }
                                       << QStringList { "192.168.1.1", "192.168.2.1", "" } << none << 2;
    QTest::newRow("equal metrics: first row") << QStringList { "0.0.0.0 192.168.1.1 1 10", "0.0.0.0 192.168.2.1 2 10" }
                                              << QStringList { "192.168.1.1", "192.168.2.1", "" } << none << 1;
    QTest::newRow("metrics compare signed") << QStringList { "0.0.0.0 192.168.1.1 1 5", "0.0.0.0 192.168.2.1 2 -1" }
                                            << QStringList { "192.168.1.1", "192.168.2.1", "" } << none << 2;
    QTest::newRow("own address as next hop")
        << QStringList { "0.0.0.0 10.64.0.9 3 1" } << QStringList { "10.64.0.9", "", "" } << none << 3;
    QTest::newRow("other routes ignored")
        << QStringList { "10.0.0.0 192.168.1.1 1 1" } << QStringList { "192.168.1.1", "", "" } << none << 0;
    QTest::newRow("gateway of no adapter")
        << QStringList { "0.0.0.0 172.16.0.1 1 1" } << QStringList { "192.168.1.1", "", "" } << none << 0;
    QTest::newRow("no routes") << QStringList() << none << none << 0;
}

void tst_BackendImpl::defaultRoute()
{
    QFETCH(QStringList, routes);
    QFETCH(QStringList, dhcpGateways);
    QFETCH(QStringList, staticGateways);
    QFETCH(int, expected);
    Fixture f;
    QList<Adapter> adapters = ethernetAdapters(2);
    adapters.append(Adapter { adapterId(3), QStringLiteral("Dial-up"), 23, { QStringLiteral("10.64.0.9") } });
    QList<Route> table;
    for (const QString &route : std::as_const(routes)) {
        const QStringList fields = route.split(QLatin1Char(' '));
        table.append(Route { fields.at(0), fields.at(1), fields.at(2).toUInt(), fields.at(3).toInt() });
    }
    f.machine.writeMachine(adapters, table);
    for (int i = 0; i < 3; ++i) {
        if (!dhcpGateways.at(i).isEmpty())
            f.machine.setGateways(
                adapterId(i + 1), QStringLiteral("DhcpDefaultGateway"), dhcpGateways.at(i).split(','));
        if (!staticGateways.at(i).isEmpty())
            f.machine.setGateways(adapterId(i + 1), QStringLiteral("DefaultGateway"), staticGateways.at(i).split(','));
    }
    QVERIFY(f.backend->start());
    QCOMPARE(f.backend->defaultRouteId(), expected ? adapterId(expected) : QString());
    f.backend->stop();
}

void tst_BackendImpl::networksShowTheRememberedChoice()
{
    Fixture f;
    f.machine.writeMachine(ethernetAdapters(2));
    f.machine.setValue(adapterId(1), QStringLiteral("NameServer"), QStringLiteral("127.0.0.1"));
    f.machine.setValue(adapterId(1), QStringLiteral("DhcpNameServer"), QStringLiteral("192.168.1.1"));
    f.machine.settings().setValue(QStringLiteral("protected-networks"), QStringList { adapterId(2) });
    f.machine.settings().sync();
    f.server.identified = false;
    QVERIFY(f.backend->start());
    const QList<Velmor::Network> networks = f.backend->networks();
    QCOMPARE(networks.size(), 2);
    QVERIFY(!networks.at(0).isProtected);
    QVERIFY(networks.at(1).isProtected);
    f.backend->stop();
}

void tst_BackendImpl::unknownNetwork()
{
    Fixture f;
    f.machine.writeMachine(ethernetAdapters(1));
    QVERIFY(f.backend->start());
    QVERIFY(!f.backend->setNetworkProtection(QStringLiteral("{unknown}"), true));
    QCOMPARE(f.backend->lastError().code(), 5u);
    QCOMPARE(f.backend->lastError().message(), QStringLiteral("Adapter unavailable"));
    QVERIFY(!f.machine.settings().contains(QStringLiteral("protected-networks")));
    QVERIFY(!f.backend->setOriginalDns(QStringLiteral("{unknown}"), Velmor::HostList()));
    QCOMPARE(f.backend->lastError().message(), QStringLiteral("Adapter unavailable"));
    f.backend->stop();
}

// A run that ended without giving the servers back (a crash) leaves them saved; the next start gives them back
// when nothing filters, and the groups keep their names.
void tst_BackendImpl::savedServersOutliveARun()
{
    Machine machine;
    machine.writeMachine(ethernetAdapters(2));
    machine.setValue(adapterId(1), QStringLiteral("NameServer"), QStringLiteral("10.1.1.1 10.1.1.2"));
    machine.setValue(adapterId(2), QStringLiteral("NameServer"), QStringLiteral("10.2.2.2"));
    machine.settings().setValue(QStringLiteral("protected-networks"), QStringList { adapterId(1), adapterId(2) });
    machine.settings().sync();
    {
        ScriptedServer server;
        auto *backend = new Velmor::Backend(&server);
        QVERIFY(backend->start());
        QCOMPARE(machine.value(adapterId(1), QStringLiteral("NameServer")), QStringLiteral("127.0.0.1"));
        QCOMPARE(machine.value(adapterId(2), QStringLiteral("NameServer")), QStringLiteral("127.0.0.1"));
        // Gone without a stop.
    }
    const QString group = machine.groupOf(adapterId(2));
    ScriptedServer server;
    server.identified = false;
    auto *backend = new Velmor::Backend(&server);
    QVERIFY(backend->start());
    QCOMPARE(machine.value(adapterId(1), QStringLiteral("NameServer")), QStringLiteral("10.1.1.1,10.1.1.2"));
    QCOMPARE(machine.value(adapterId(2), QStringLiteral("NameServer")), QStringLiteral("10.2.2.2"));
    QCOMPARE(machine.groupOf(adapterId(2)), group);
    backend->stop();
}

void tst_BackendImpl::startStartsAClientLeftStoppedByARestart_data()
{
    QTest::addColumn<bool>("recorded");
    QTest::newRow("stopped by a restart") << true;
    QTest::newRow("stopped by someone else") << false;
}

void tst_BackendImpl::startStartsAClientLeftStoppedByARestart()
{
    QFETCH(bool, recorded);
    Fixture f;
    f.machine.writeMachine(ethernetAdapters(1));
    QCOMPARE(ServiceManager::controlService(QStringLiteral("Dnscache"), ControlStop), 0u);
    if (recorded) {
        f.machine.settings().setValue(QStringLiteral("dnscache-stopped"), true);
        f.machine.settings().sync();
    }
    QVERIFY(f.backend->start());
    ServiceState state = ServiceState::Stopped;
    QCOMPARE(ServiceManager::queryState(QStringLiteral("Dnscache"), &state), 0u);
    QCOMPARE(state, recorded ? ServiceState::Running : ServiceState::Stopped);
    f.machine.settings().sync();
    QVERIFY(!f.machine.settings().contains(QStringLiteral("dnscache-stopped")));
    f.backend->stop();
}

void tst_BackendImpl::noFileIsNamedAfterARegistryPath()
{
    Fixture f;
    QTemporaryDir work;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    f.machine.writeMachine(ethernetAdapters(2), { Route { "0.0.0.0", "192.168.1.1", 1, 1 } });
    f.machine.setGateways(adapterId(1), QStringLiteral("DefaultGateway"), { QStringLiteral("192.168.1.1") });
    f.machine.setValue(adapterId(1), QStringLiteral("NameServer"), QStringLiteral("10.0.0.1"));
    QVERIFY(f.backend->start());
    QVERIFY(f.backend->setNetworkProtection(adapterId(1), true));
    QVERIFY(f.backend->setNetworkProtection(adapterId(1), false));
    f.backend->networks();
    f.backend->stop();
    QDir::setCurrent(previous);

    QCOMPARE(QDir(work.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QDirIterator it(
        f.machine.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        QVERIFY2(!name.contains(QLatin1Char('\\')) && !name.contains(QLatin1String("HKEY_")), qPrintable(name));
    }
}

void tst_BackendImpl::baseImplementationCannotProtect()
{
    Velmor::Private::BackendImplBase base;
    QVERIFY(base.setProtection(adapterId(1), true));
    QCOMPARE(base.lastError().code(), 8u);
    QCOMPARE(base.lastError().message(), QStringLiteral("setProtection is not supported by backend"));
    QCOMPARE(base.networks().size(), 0);
    QCOMPARE(base.defaultRouteId(), QString());
}

QTEST_GUILESS_MAIN(tst_BackendImpl)
#include "tst_backendimpl.moc"
