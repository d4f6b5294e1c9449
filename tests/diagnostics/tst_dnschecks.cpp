#include "machinefixture.h"

#include "diagnostics/dnschecks.h"

#include <QTest>

// The two DNS checks on fixture machines: their logs are the report's lines, so they are compared whole.
class tst_DnsChecks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void allEnabledAdapters_data();
    void allEnabledAdapters();
    void gateway_data();
    void gateway();
};

namespace {

const char wired[]
    = R"({"id":"{E}","index":7,"name":"Ethernet","type":6,"up":UP,"addresses":["192.168.1.20","fe80::20"]})";
const char wireless[] = R"({"id":"{W}","index":9,"name":"Wi-Fi","type":71,"addresses":["10.0.0.5"]})";
const char loopback[] = R"({"id":"{LO}","index":1,"name":"Loopback","type":24,"addresses":["127.0.0.1"]})";
const char defaultRoute[]
    = R"({"destination":"0.0.0.0","mask":"0.0.0.0","nextHop":"192.168.1.1","index":7,"metric":25})";

QByteArray machineJson(bool wiredUp, bool withRoute)
{
    QByteArray adapters = QByteArray("[") + loopback + "," + QByteArray(wired).replace("UP", wiredUp ? "true" : "false")
        + "," + wireless + "]";
    return "{\"adapters\":" + adapters + ",\"routes\":[" + (withRoute ? QByteArray(defaultRoute) : QByteArray()) + "]}";
}

struct Outcome
{
    bool result;
    QString text;
};

template<typename Check>
Outcome runCheck()
{
    TestResult record;
    Check check(&record);
    check.setAutoDelete(false);
    check.run();
    return { record.result, record.text };
}

} // namespace

void tst_DnsChecks::allEnabledAdapters_data()
{
    QTest::addColumn<QString>("wiredServers");
    QTest::addColumn<QString>("wirelessServers");
    QTest::addColumn<bool>("wiredUp");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("log");

    QTest::newRow("everything local") << "127.0.0.1"
                                      << "127.0.0.1" << true << true << "";
    QTest::newRow("IPv6 loopback beside 127.0.0.1")
        << "127.0.0.1 ::1"
        << "127.0.0.1" << true << false
        << "There are incorect dns addresees:\nType:ETHERNET_CSMACD Adress:192.168.1.20\nDNS: 127.0.0.1\nDNS: ::1\n";
    QTest::newRow("two adapters, every server listed")
        << "8.8.8.8,127.0.0.1"
        << "10.0.0.1" << true << false
        << "There are incorect dns addresees:\nType:ETHERNET_CSMACD Adress:192.168.1.20\nDNS: 8.8.8.8\n"
           "DNS: 127.0.0.1\nType:IEEE80211 Adress:10.0.0.5\nDNS: 10.0.0.1\n";
    QTest::newRow("an adapter that is down does not count") << "8.8.8.8"
                                                            << "127.0.0.1" << false << true << "";
    QTest::newRow("no servers at all") << ""
                                       << "" << true << true << "";
}

void tst_DnsChecks::allEnabledAdapters()
{
    QFETCH(QString, wiredServers);
    QFETCH(QString, wirelessServers);
    QFETCH(bool, wiredUp);
    QFETCH(bool, result);
    QFETCH(QString, log);
    MachineFixture machine;
    QVERIFY(machine.setMachine(machineJson(wiredUp, true)));
    QVERIFY(machine.setDnsServers(QStringLiteral("{E}"), wiredServers));
    QVERIFY(machine.setDnsServers(QStringLiteral("{W}"), wirelessServers));
    const Outcome outcome = runCheck<CheckDNSOnAllEnabledAdapters>();
    QCOMPARE(outcome.text, log);
    QCOMPARE(outcome.result, result);
}

void tst_DnsChecks::gateway_data()
{
    QTest::addColumn<QByteArray>("machine");
    QTest::addColumn<QString>("servers");
    QTest::addColumn<bool>("nextHopIsGateway");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("log");

    QTest::newRow("only the local proxy") << machineJson(true, true) << "127.0.0.1" << true << true
                                          << "Gateway interfase:192.168.1.20 dns address:127.0.0.1\n";
    QTest::newRow("the local proxy, then a foreign server")
        << machineJson(true, true) << "127.0.0.1 8.8.8.8" << true << false
        << "Wrong dns address on gateway interfase:192.168.1.20 DNS:8.8.8.8\n";
    QTest::newRow("IPv6 loopback is not 127.0.0.1") << machineJson(true, true) << "::1" << true << false
                                                    << "Wrong dns address on gateway interfase:192.168.1.20 DNS:::1\n";
    QTest::newRow("no servers on the gateway adapter")
        << machineJson(true, true) << "" << true << false << "there are no dns address on gateway interface\n";
    QTest::newRow("no route to the Internet") << machineJson(true, false) << "127.0.0.1" << true << false
                                              << "error during connection: 10051\ncan't check gateway dns\n";
    QTest::newRow("the route's adapter is down") << machineJson(false, true) << "127.0.0.1" << true << false
                                                 << "error during connection: 10051\ncan't check gateway dns\n";
    QTest::newRow("a next hop no adapter knows") << machineJson(true, true) << "127.0.0.1" << false << false
                                                 << "error during connection: 10051\ncan't check gateway dns\n";
}

void tst_DnsChecks::gateway()
{
    QFETCH(QByteArray, machine);
    QFETCH(QString, servers);
    QFETCH(bool, nextHopIsGateway);
    QFETCH(bool, result);
    QFETCH(QString, log);
    MachineFixture fixture;
    QVERIFY(fixture.setMachine(machine));
    QVERIFY(fixture.setDnsServers(QStringLiteral("{E}"), servers));
    QVERIFY(fixture.setDnsServers(QStringLiteral("{W}"), QStringLiteral("127.0.0.1")));
    if (nextHopIsGateway)
        QVERIFY(fixture.setGateways(QStringLiteral("{E}"), { QStringLiteral("192.168.1.1") }));
    const Outcome outcome = runCheck<CheckDNSOnGatway>();
    QCOMPARE(outcome.text, log);
    QCOMPARE(outcome.result, result);
}

QTEST_GUILESS_MAIN(tst_DnsChecks)
#include "tst_dnschecks.moc"
