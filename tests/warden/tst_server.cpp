#include "ipcprobe.h"
#include "servertest.h"

#include "core/ipcserver.h"
#include "dns/dnsproxy.h"
#include "dns/httpserver.h"
#include "network/backend.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

#include <climits>

using namespace Velmor;
using WardenTest::IpcProbe;
using WardenTest::ServerFixture;

// The server's start, stop, filtering pause and proxy addresses, in process on a simulated machine.
class tst_Server : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startFailures_data();
    void startFailures();
    void startsWithDistinctPorts();
    void stopGivesAdaptersBackBeforeTheBackendStops();
    void pause_data();
    void pause();
    void pauseKeepsItsFirstTimer();
    void resumeTimerSwitchesFilteringOn();
    void filteringSwitchMovesAdapters();
    void stopAndStartKeepTheSwitch();
    void localAddressIgnored_data();
    void localAddressIgnored();
    void localAddressMovesTheRunningProxy();
    void localAddressOnlyStoredElsewhere_data();
    void localAddressOnlyStoredElsewhere();
    void localAddressRetriesAFailedProxy();
    void anyAddressIsReachedOnLoopback();
};

void tst_Server::startFailures_data()
{
    QTest::addColumn<QString>("upstream");
    QTest::addColumn<QString>("local");
    QTest::addColumn<QVariantMap>("machineFailures");
    QTest::addColumn<bool>("takePort");
    QTest::addColumn<QString>("message");

    QTest::newRow("equal addresses") << "127.0.0.1:53"
                                     << "127.0.0.1" << QVariantMap() << false << "wrong proxy addresses in config";
    QTest::newRow("both unreadable") << "resolver"
                                     << "127.1" << QVariantMap() << false << "wrong proxy addresses in config";
    QTest::newRow("backend") << "127.0.0.2"
                             << "127.0.0.1" << QVariantMap { { QStringLiteral("GetAdaptersAddresses"), 8 } } << false
                             << "";
}

void tst_Server::startFailures()
{
    QFETCH(QString, upstream);
    QFETCH(QString, local);
    QFETCH(QVariantMap, machineFailures);
    QFETCH(bool, takePort);
    QFETCH(QString, message);

    ServerFixture f;
    f.setSetting(QStringLiteral("vyrproxy-addr"), upstream);
    f.setSetting(QStringLiteral("localproxy-addr"), local);
    if (!machineFailures.isEmpty())
        f.machine.writeMachine(
            { NetworkTest::Adapter { f.adapter, QStringLiteral("Ethernet"), 6, {} } }, {}, machineFailures);
    QTcpServer squatter;
    if (takePort)
        QVERIFY(squatter.listen(QHostAddress(QHostAddress::LocalHost), f.ipcPort));

    QVERIFY(!f.server->start());
    const Error failure = f.server->lastError();
    if (!machineFailures.isEmpty()) {
        // The adapter list cannot be read.
        QCOMPARE(failure.code(), 6u);
        QCOMPARE(failure.message(), f.d->backend->lastError().message());
        QVERIFY(!failure.message().isEmpty());
        QCOMPARE(f.identification->state(), int(Identification::Stopped));
    } else if (takePort) {
        QCOMPARE(failure.code(), 1u);
        QTcpServer second;
        QVERIFY(!second.listen(QHostAddress(QHostAddress::LocalHost), f.ipcPort));
        QCOMPARE(failure.message(), message + second.errorString());
        // Identification runs, only the listener failed.
        QVERIFY(f.identification->state() != Identification::Stopped);
    } else {
        QCOMPARE(failure.code(), 1u);
        QCOMPARE(failure.message(), message);
        QCOMPARE(f.identification->state(), int(Identification::Stopped));
    }
    QCOMPARE(f.d->state, int(ServerPrivate::Starting));
    f.server->stop();
}

void tst_Server::startsWithDistinctPorts()
{
    ServerFixture f;
    f.setSetting(QStringLiteral("vyrproxy-addr"), QStringLiteral("127.0.0.1:53"));
    f.setSetting(QStringLiteral("localproxy-addr"), QStringLiteral("127.0.0.1:%1").arg(f.proxyPort));
    QVERIFY(f.server->start());
    QCOMPARE(f.d->state, int(ServerPrivate::Running));
    QCOMPARE(f.server->upstreamProxyPort(), quint16(53));
    QCOMPARE(f.server->localDnsProxyPort(), f.proxyPort);
    f.server->stop();
    QCOMPARE(f.d->state, int(ServerPrivate::Stopped));
}

void tst_Server::stopGivesAdaptersBackBeforeTheBackendStops()
{
    ServerFixture f;
    f.makeReady();
    QList<QHostAddress> seen;
    connect(f.server.get(), &ServerState::activeProxyChanged, f.server.get(),
        [&] { seen.append(f.server->activeProxyAddress()); });
    QVERIFY(f.server->start());
    QCOMPARE(f.identification->state(), int(Identification::Running));
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    QVERIFY(f.identification->dnsProxy()->isListening());

    seen.clear();
    QVERIFY(f.server->stop());
    // The backend still followed the server when the active address went: the adapter has its own server back.
    QVERIFY(!seen.isEmpty());
    QVERIFY(seen.constLast().isNull());
    QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));
    QVERIFY(!f.identification->dnsProxy()->isListening());
    QVERIFY(!f.d->ipcServer->isListening());
    // Now stopped, the backend no longer follows the server.
    f.d->globalFiltering = true;
    Q_EMIT f.server->activeProxyChanged();
    QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));
}

void tst_Server::pause_data()
{
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("filtering");
    QTest::addColumn<int>("interval"); // -1: the resume timer does not run

    QTest::newRow("off for 30 minutes") << false << 30 << true << false << 1800000;
    QTest::newRow("off until restart") << false << 0 << true << false << -1;
    QTest::newRow("negative delay") << false << -5 << false << true << -1;
    QTest::newRow("longest the timer holds") << false << 35791 << true << false << 2147460000;
    QTest::newRow("one minute too long") << false << 35792 << true << false << 2147460000;
    QTest::newRow("far too long") << false << INT_MAX << true << false << 2147460000;
    QTest::newRow("on while on") << true << 10 << false << true << -1;
}

void tst_Server::pause()
{
    QFETCH(bool, on);
    QFETCH(int, minutes);
    QFETCH(bool, changed);
    QFETCH(bool, filtering);
    QFETCH(int, interval);

    ServerFixture f;
    QSignalSpy active(f.server.get(), &ServerState::activeProxyChanged);
    QCOMPARE(f.d->setGlobalFiltering(on, minutes), changed);
    QCOMPARE(f.server->isGlobalFilteringEnabled(), filtering);
    QCOMPARE(f.d->resumeTimer.isActive(), interval != -1);
    if (interval != -1)
        QCOMPARE(f.d->resumeTimer.interval(), interval);
    QCOMPARE(active.size(), changed ? 1 : 0);
}

void tst_Server::pauseKeepsItsFirstTimer()
{
    ServerFixture f;
    QVERIFY(f.d->setGlobalFiltering(false, 30));
    QVERIFY(!f.d->setGlobalFiltering(false, 5));
    QCOMPARE(f.d->resumeTimer.interval(), 1800000);
    QVERIFY(f.d->resumeTimer.isActive());
    // Switched on early: the pause is over.
    QVERIFY(f.d->setGlobalFiltering(true, 0));
    QVERIFY(!f.d->resumeTimer.isActive());
}

void tst_Server::resumeTimerSwitchesFilteringOn()
{
    ServerFixture f;
    QVERIFY(f.server->start());
    IpcProbe probe(f.ipcPort);
    QTRY_VERIFY(probe.methods().contains(QStringLiteral("setProfileScheduleActivity")));
    probe.clear();
    QVERIFY(f.d->setGlobalFiltering(false, 5));
    QTRY_COMPARE(probe.named(QStringLiteral("setGlobalFiltering")).size(), 1);
    QCOMPARE(probe.named(QStringLiteral("setGlobalFiltering")).at(0).params, QVariantList { false });
    // What the timer's expiry runs.
    QVERIFY(!connect(
        &f.d->resumeTimer, &QTimer::timeout, f.d, &ServerPrivate::globalFilteringTimeout, Qt::UniqueConnection));
    f.d->globalFilteringTimeout();
    QVERIFY(f.server->isGlobalFilteringEnabled());
    QTRY_COMPARE(probe.named(QStringLiteral("setGlobalFiltering")).size(), 2);
    QCOMPARE(probe.named(QStringLiteral("setGlobalFiltering")).at(1).params, QVariantList { true });
    f.server->stop();
}

void tst_Server::filteringSwitchMovesAdapters()
{
    ServerFixture f;
    f.makeReady();
    QVERIFY(f.server->start());
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    QVERIFY(f.d->setGlobalFiltering(false, 0));
    QVERIFY(f.server->activeProxyAddress().isNull());
    QVERIFY(!f.server->useLocalDnsProxy());
    QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));
    QVERIFY(f.d->setGlobalFiltering(true, 0));
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    f.server->stop();
}

void tst_Server::stopAndStartKeepTheSwitch()
{
    ServerFixture f;
    QVERIFY(f.server->start());
    QVERIFY(f.d->setGlobalFiltering(false, 60));
    f.server->stop();
    QVERIFY(f.server->start());
    QVERIFY(!f.server->isGlobalFilteringEnabled());
    QVERIFY(f.d->resumeTimer.isActive());
    f.server->stop();
}

void tst_Server::localAddressIgnored_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");

    QTest::newRow("null address") << QString() << 5300;
    QTest::newRow("port 0") << "127.0.0.1" << 0;
    QTest::newRow("the resolver itself") << "127.0.0.2" << 5353;
}

void tst_Server::localAddressIgnored()
{
    QFETCH(QString, address);
    QFETCH(int, port);

    ServerFixture f;
    QVERIFY(f.server->start());
    const QVariant stored = f.setting(QStringLiteral("localproxy-addr"));
    QSignalSpy changes(f.server.get(), &Server::localDnsProxyAddressChanged);
    QVERIFY(!f.d->setLocalDnsProxyAddress(address.isEmpty() ? QHostAddress() : QHostAddress(address), quint16(port)));
    QCOMPARE(f.setting(QStringLiteral("localproxy-addr")), stored);
    QCOMPARE(f.server->localDnsProxyPort(), f.proxyPort);
    QCOMPARE(changes.size(), 0);
    f.server->stop();
}

void tst_Server::localAddressMovesTheRunningProxy()
{
    ServerFixture f;
    f.makeReady();
    QVERIFY(f.server->start());
    QCOMPARE(f.identification->state(), int(Identification::Running));
    const quint16 newPort = WardenTest::freePort();
    QSignalSpy active(f.server.get(), &ServerState::activeProxyChanged);

    QVERIFY(f.d->setLocalDnsProxyAddress(QHostAddress(QHostAddress::LocalHost), newPort));
    QCOMPARE(f.setting(QStringLiteral("localproxy-addr")).toString(), QStringLiteral("127.0.0.1:%1").arg(newPort));
    QVERIFY(f.identification->dnsProxy()->isListening());
    QCOMPARE(f.identification->state(), int(Identification::Running));
    QVERIFY(active.size() >= 1);
    // The old port is free again, the new one is the proxy's.
    QUdpSocket oldPort;
    QVERIFY(oldPort.bind(QHostAddress(QHostAddress::LocalHost), f.proxyPort));
    QUdpSocket newOne;
    QVERIFY(!newOne.bind(QHostAddress(QHostAddress::LocalHost), newPort));

    // Port 53 is written as the address alone.
    QVERIFY(f.d->setLocalDnsProxyAddress(QHostAddress(QStringLiteral("127.0.0.3")), 53));
    QCOMPARE(f.setting(QStringLiteral("localproxy-addr")).toString(), QStringLiteral("127.0.0.3"));
    f.server->stop();
}

void tst_Server::localAddressOnlyStoredElsewhere_data()
{
    QTest::addColumn<bool>("tokens");
    QTest::addColumn<bool>("ready");
    QTest::addColumn<bool>("stopped");

    QTest::newRow("IP mode running") << false << true << false;
    QTest::newRow("token mode waiting") << true << false << false;
    QTest::newRow("server stopped") << true << true << true;
}

void tst_Server::localAddressOnlyStoredElsewhere()
{
    QFETCH(bool, tokens);
    QFETCH(bool, ready);
    QFETCH(bool, stopped);

    ServerFixture f(tokens);
    if (ready)
        f.makeReady();
    QVERIFY(f.server->start());
    if (stopped)
        f.server->stop();
    const int state = f.identification->state();
    const quint16 newPort = WardenTest::freePort();
    QVERIFY(f.d->setLocalDnsProxyAddress(QHostAddress(QHostAddress::LocalHost), newPort));
    QCOMPARE(f.setting(QStringLiteral("localproxy-addr")).toString(), QStringLiteral("127.0.0.1:%1").arg(newPort));
    QCOMPARE(f.server->localDnsProxyPort(), newPort);
    QVERIFY(!f.identification->dnsProxy()->isListening());
    QCOMPARE(f.identification->state(), state);
    f.server->stop();
}

void tst_Server::localAddressRetriesAFailedProxy()
{
    ServerFixture f;
    f.makeReady();
    QUdpSocket squatter;
    QVERIFY(squatter.bind(QHostAddress(QHostAddress::LocalHost), f.proxyPort));
    QVERIFY(f.server->start());
    QCOMPARE(f.identification->state(), int(Identification::Stopped));
    QCOMPARE(f.identification->lastError().code(), 1u);
    QVERIFY2(f.identification->lastError().message().startsWith(QStringLiteral("Failed to start DNS proxy on udp://")),
        qPrintable(f.identification->lastError().message()));
    // Filtered meanwhile by the resolver itself, never by the servers the network had before.
    QCOMPARE(f.server->activeProxyAddress(), f.server->upstreamProxyAddress());
    QTRY_COMPARE(f.nameServer(), f.server->upstreamProxyAddress().toString());
    QVERIFY(!f.identification->httpServer()->isListening());

    QVERIFY(f.d->setLocalDnsProxyAddress(QHostAddress(QHostAddress::LocalHost), WardenTest::freePort()));
    QCOMPARE(f.identification->state(), int(Identification::Running));
    QCOMPARE(f.identification->lastError().code(), 0u);
    QVERIFY(f.identification->httpServer()->isListening());
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    f.server->stop();
}

void tst_Server::anyAddressIsReachedOnLoopback()
{
    ServerFixture f;
    f.setSetting(QStringLiteral("localproxy-addr"), QStringLiteral("0.0.0.0:%1").arg(f.proxyPort));
    f.makeReady();
    QVERIFY(f.server->start());
    QCOMPARE(f.server->localDnsProxyAddress(true), QHostAddress(QHostAddress::AnyIPv4));
    QCOMPARE(f.server->activeProxyAddress(), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    f.server->stop();
}

QTEST_MAIN(tst_Server)
#include "tst_server.moc"
