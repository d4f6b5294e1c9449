#include "networktest.h"

#include "network/backendimpl.h"
#include "network/dnscacheresetter.h"

#include "platform/winerror.h"

#include <QSignalSpy>
#include <QtTest>

using namespace NetworkTest;

namespace {

enum Mode { Paused, Token, ByIP };

// One implementation on a machine root without a front, so its own signals are seen as they are emitted.
struct Fixture
{
    Machine machine;
    ScriptedServer server;
    Velmor::Private::BackendImpl impl { &server };
    QSignalSpy emitted { &impl, &Velmor::Private::BackendImplBase::protectionChanged };

    explicit Fixture(Mode mode)
    {
        server.identified = mode != Paused;
        server.type = mode == ByIP ? 0 : 1;
        machine.settings().setValue(QStringLiteral("fallback-dns"), QStringLiteral("8.8.8.8"));
    }
    void protect(const QStringList &ids)
    {
        machine.settings().setValue(QStringLiteral("protected-networks"), ids);
        machine.settings().sync();
    }
    void save(const QString &id, int group, const QVariant &original, const QVariant &applied)
    {
        const QString prefix = QStringLiteral("interfaces/i%1/").arg(group);
        machine.settings().setValue(prefix + QStringLiteral("guid"), id);
        if (original.isValid())
            machine.settings().setValue(prefix + QStringLiteral("originalDns"), original);
        if (applied.isValid())
            machine.settings().setValue(prefix + QStringLiteral("appliedDns"), applied);
        machine.settings().sync();
    }
};

QString signalText(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &arguments : spy)
        texts.append(arguments.at(1).toBool() ? QStringLiteral("true") : QStringLiteral("false"));
    return texts.join(QLatin1Char(','));
}

} // namespace

// The apply run: which adapters are pointed at the active address, which get their own servers back, and what
// it reports.
class tst_ProtectionApply : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void applyTable_data();
    void applyTable();
    void runVisitsEveryAdapter();
    void refusedProtectedWriteDoesNotFailTheRun();
    void modeSwitchesAndBack();
    void unchangedValueIsNotWrittenAgain_data();
    void unchangedValueIsNotWrittenAgain();
};

void tst_ProtectionApply::applyTable_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("isProtected");
    QTest::addColumn<QString>("nameServer");
    QTest::addColumn<QString>("dhcp");
    QTest::addColumn<QVariant>("original"); // invalid: absent
    QTest::addColumn<QVariant>("applied");
    QTest::addColumn<QString>("fallback");
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<QString>("nameServerAfter");
    QTest::addColumn<QVariant>("originalAfter");
    QTest::addColumn<QString>("signalled"); // the protected flags emitted, in order
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("code");

    const QVariant absent;
    const QVariant own(QStringLiteral("10.0.0.1"));
    const QString resolver = QStringLiteral("198.51.100.53");
    const QString fallback = QStringLiteral("8.8.8.8");

    // No active address: only adapters on an address of ours act, without signals.
    QTest::newRow("paused, own servers") << int(Paused) << true << "10.0.0.1"
                                         << "" << absent << absent << fallback << false << "10.0.0.1" << own << ""
                                         << true << 0;
    QTest::newRow("paused, local proxy") << int(Paused) << true << "127.0.0.1"
                                         << "" << own << absent << fallback << false << "10.0.0.1" << own << "" << true
                                         << 0;
    QTest::newRow("paused, resolver") << int(Paused) << false << resolver << "" << own << absent << fallback << false
                                      << "10.0.0.1" << own << "" << true << 0;
    QTest::newRow("paused, old local address")
        << int(Paused) << true << "127.0.0.2"
        << "" << own << QVariant("127.0.0.2") << fallback << false << "10.0.0.1" << own << "" << true << 0;
    QTest::newRow("paused, back to DHCP")
        << int(Paused) << true << "127.0.0.1"
        << "192.168.1.1" << absent << absent << fallback << false << "" << absent << "" << true << 0;
    QTest::newRow("paused, fallback servers")
        << int(Paused) << true << "127.0.0.1"
        << "" << absent << absent << fallback << false << "8.8.8.8" << absent << "" << true << 0;
    QTest::newRow("paused, no fallback") << int(Paused) << true << "127.0.0.1"
                                         << "" << absent << absent << "" << false << "127.0.0.1" << absent << ""
                                         << false << 4;
    QTest::newRow("paused, restore refused")
        << int(Paused) << true << "127.0.0.1"
        << "" << own << absent << fallback << true << "127.0.0.1" << own << "" << false << 5;

    // By token: the active address is the local proxy, 127.0.0.1.
    QTest::newRow("token, protected own servers")
        << int(Token) << true << "192.168.1.1"
        << "" << absent << absent << fallback << false << "127.0.0.1" << QVariant("192.168.1.1") << "true" << true << 0;
    QTest::newRow("token, protected on DHCP")
        << int(Token) << true << ""
        << "192.168.1.1" << absent << absent << fallback << false << "127.0.0.1" << absent << "true" << true << 0;
    QTest::newRow("token, protected without servers")
        << int(Token) << true << ""
        << "" << absent << absent << fallback << false << "127.0.0.1" << absent << "true" << true << 0;
    QTest::newRow("token, unprotected own servers")
        << int(Token) << false << "192.168.1.1"
        << "" << absent << absent << fallback << false << "192.168.1.1" << QVariant("192.168.1.1") << "" << true << 0;
    QTest::newRow("token, unprotected without servers")
        << int(Token) << false << ""
        << "" << absent << absent << fallback << false << "" << absent << "" << true << 0;
    QTest::newRow("token, protected on resolver") << int(Token) << true << resolver << "" << own << absent << fallback
                                                  << false << "127.0.0.1" << own << "" << true << 0;
    QTest::newRow("token, protected on active")
        << int(Token) << true << "127.0.0.1"
        << "" << own << absent << fallback << false << "127.0.0.1" << own << "" << true << 0;
    QTest::newRow("token, unprotected on active")
        << int(Token) << false << "127.0.0.1"
        << "" << own << absent << fallback << false << "10.0.0.1" << own << "" << true << 0;
    QTest::newRow("token, unprotected on resolver") << int(Token) << false << resolver << "" << own << absent
                                                    << fallback << false << "10.0.0.1" << own << "" << true << 0;
    QTest::newRow("token, unprotected on active, nothing to give back")
        << int(Token) << false << "127.0.0.1"
        << "" << absent << absent << fallback << false << "127.0.0.1" << absent << "true" << true << 0;
    QTest::newRow("token, unprotected on resolver, nothing to give back")
        << int(Token) << false << resolver << "" << absent << absent << fallback << false << "127.0.0.1" << absent
        << "true" << true << 0;
    QTest::newRow("token, protected write refused") << int(Token) << true << "192.168.1.1"
                                                    << "" << absent << absent << fallback << true << "192.168.1.1"
                                                    << QVariant("192.168.1.1") << "false" << true << 5;
    QTest::newRow("token, unprotected restore refused")
        << int(Token) << false << "127.0.0.1"
        << "" << own << absent << fallback << true << "127.0.0.1" << own << "true" << true << 5;
    QTest::newRow("token, protected on resolver refused") << int(Token) << true << resolver << "" << own << absent
                                                          << fallback << true << resolver << own << "" << false << 5;

    // By IP: the active address is the filtering resolver.
    QTest::newRow("IP, protected own servers")
        << int(ByIP) << true << "10.0.0.1"
        << "" << absent << absent << fallback << false << resolver << own << "true" << true << 0;
    QTest::newRow("IP, protected on local proxy")
        << int(ByIP) << true << "127.0.0.1"
        << "" << own << absent << fallback << false << resolver << own << "" << true << 0;
    QTest::newRow("IP, unprotected on resolver") << int(ByIP) << false << resolver << "" << own << absent << fallback
                                                 << false << "10.0.0.1" << own << "" << true << 0;
    QTest::newRow("IP, unprotected on resolver, nothing to give back")
        << int(ByIP) << false << resolver << "" << absent << absent << fallback << false << resolver << absent << "true"
        << true << 0;
}

void tst_ProtectionApply::applyTable()
{
    QFETCH(int, mode);
    QFETCH(bool, isProtected);
    QFETCH(QString, nameServer);
    QFETCH(QString, dhcp);
    QFETCH(QVariant, original);
    QFETCH(QVariant, applied);
    QFETCH(QString, fallback);
    QFETCH(bool, refuse);
    QFETCH(QString, nameServerAfter);
    QFETCH(QVariant, originalAfter);
    QFETCH(QString, signalled);
    QFETCH(bool, result);
    QFETCH(int, code);

    Fixture f { Mode(mode) };
    const QString id = adapterId(1);
    f.machine.writeMachine({ Adapter { id, QStringLiteral("Ethernet"), 6, { QStringLiteral("192.168.1.20") } } });
    f.machine.setValue(id, QStringLiteral("NameServer"), nameServer);
    f.machine.setValue(id, QStringLiteral("DhcpNameServer"), dhcp);
    f.save(id, 0, original, applied);
    f.machine.settings().setValue(QStringLiteral("fallback-dns"), fallback);
    f.protect(isProtected ? QStringList { id } : QStringList());
    if (refuse)
        f.machine.refuseWrites(id, Velmor::Platform::ErrorAccessDenied);
    if (code == 4 || nameServerAfter == fallback)
        QTest::ignoreMessage(QtWarningMsg, "can't do dhcpReset. dhcp unavailable");

    QCOMPARE(f.impl.refresh(true), result);
    QCOMPARE(f.machine.value(id, QStringLiteral("NameServer")), nameServerAfter);
    QCOMPARE(f.machine.interfaceSetting(id, QStringLiteral("originalDns")), originalAfter);
    QCOMPARE(signalText(f.emitted), signalled);
    QCOMPARE(int(f.impl.lastError().code()), code);
    // The remembered list is the front's business, never the run's.
    QCOMPARE(f.machine.settings().value(QStringLiteral("protected-networks")).toStringList(),
        isProtected ? QStringList { id } : QStringList());
    // An adapter on the active address is recorded as such, one given back is not.
    const QHostAddress active = f.server.activeProxyAddress();
    if (!active.isNull() && nameServerAfter == active.toString() && nameServer != nameServerAfter)
        QVERIFY(f.machine.interfaceSetting(id, QStringLiteral("appliedDns")).toString().contains(active.toString()));
    if (nameServerAfter != nameServer && nameServerAfter != active.toString())
        QCOMPARE(f.machine.interfaceSetting(id, QStringLiteral("appliedDns")), QVariant());
}

// A failure on the way stops nothing: the adapters after it are still given back.
void tst_ProtectionApply::runVisitsEveryAdapter()
{
    Fixture f(Paused);
    QList<Adapter> adapters;
    for (int i = 1; i <= 3; ++i) {
        adapters.append(Adapter { adapterId(i), QStringLiteral("Ethernet %1").arg(i), 6, {} });
        f.machine.setValue(adapterId(i), QStringLiteral("NameServer"), QStringLiteral("127.0.0.1"));
        f.save(adapterId(i), i, QStringLiteral("10.0.0.%1").arg(i), QVariant());
    }
    f.machine.writeMachine(adapters);
    f.machine.refuseWrites(adapterId(2), Velmor::Platform::ErrorAccessDenied);

    QVERIFY(!f.impl.refresh(true));
    QCOMPARE(f.impl.lastError().code(), 5u);
    QCOMPARE(f.machine.value(adapterId(1), QStringLiteral("NameServer")), QStringLiteral("10.0.0.1"));
    QCOMPARE(f.machine.value(adapterId(2), QStringLiteral("NameServer")), QStringLiteral("127.0.0.1"));
    QCOMPARE(f.machine.value(adapterId(3), QStringLiteral("NameServer")), QStringLiteral("10.0.0.3"));
}

void tst_ProtectionApply::refusedProtectedWriteDoesNotFailTheRun()
{
    Fixture f(Token);
    QList<Adapter> adapters;
    for (int i = 1; i <= 2; ++i) {
        adapters.append(Adapter { adapterId(i), QStringLiteral("Ethernet %1").arg(i), 6, {} });
        f.machine.setValue(adapterId(i), QStringLiteral("NameServer"), QStringLiteral("10.0.0.%1").arg(i));
    }
    f.machine.writeMachine(adapters);
    f.protect({ adapterId(1), adapterId(2) });
    f.machine.refuseWrites(adapterId(1), Velmor::Platform::ErrorAccessDenied);

    QVERIFY(f.impl.refresh(true));
    QCOMPARE(f.impl.lastError().code(), 5u);
    QCOMPARE(f.impl.lastError().message(), QStringLiteral("Access denied"));
    QCOMPARE(f.emitted.size(), 2);
    QCOMPARE(f.emitted.at(0), (QList<QVariant> { adapterId(1), false }));
    QCOMPARE(f.emitted.at(1), (QList<QVariant> { adapterId(2), true }));
    QCOMPARE(f.machine.value(adapterId(2), QStringLiteral("NameServer")), QStringLiteral("127.0.0.1"));
}

// Token, IP, a new local address, then paused: the adapter follows each active address and ends on its own
// servers, which nothing on the way replaced.
void tst_ProtectionApply::modeSwitchesAndBack()
{
    Fixture f(Token);
    const QString id = adapterId(1);
    f.machine.writeMachine({ Adapter { id, QStringLiteral("Wi-Fi"), 71, {} } });
    f.machine.setValue(id, QStringLiteral("NameServer"), QStringLiteral("10.1.1.1,10.1.1.2"));
    f.protect({ id });

    QVERIFY(f.impl.refresh(true));
    QCOMPARE(f.machine.value(id, QStringLiteral("NameServer")), QStringLiteral("127.0.0.1"));
    f.server.type = 0;
    QVERIFY(f.impl.refresh(true));
    QCOMPARE(f.machine.value(id, QStringLiteral("NameServer")), QStringLiteral("198.51.100.53"));
    f.server.type = 1;
    f.server.local = QHostAddress(QStringLiteral("127.0.0.2"));
    QVERIFY(f.impl.refresh(true));
    QCOMPARE(f.machine.value(id, QStringLiteral("NameServer")), QStringLiteral("127.0.0.2"));
    // The local address changes again: 127.0.0.2 is neither the local proxy nor the resolver any more, yet ours.
    f.server.local = QHostAddress(QStringLiteral("127.0.0.3"));
    QVERIFY(f.impl.refresh(true));
    QCOMPARE(f.machine.value(id, QStringLiteral("NameServer")), QStringLiteral("127.0.0.3"));
    f.server.filtering = false;
    QVERIFY(f.impl.refresh(true));
    QCOMPARE(f.machine.value(id, QStringLiteral("NameServer")), QStringLiteral("10.1.1.1,10.1.1.2"));
    QCOMPARE(f.machine.interfaceSetting(id, QStringLiteral("originalDns")), QVariant("10.1.1.1 10.1.1.2"));
    QCOMPARE(signalText(f.emitted), QStringLiteral("true"));
}

void tst_ProtectionApply::unchangedValueIsNotWrittenAgain_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("dhcp");
    QTest::newRow("token, DHCP gives the local proxy") << int(Token) << "127.0.0.1";
    QTest::newRow("token, DHCP gives the resolver") << int(Token) << "198.51.100.53";
    QTest::newRow("IP, DHCP gives the resolver") << int(ByIP) << "198.51.100.53";
    QTest::newRow("paused, DHCP gives the local proxy") << int(Paused) << "127.0.0.1";
    QTest::newRow("paused, DHCP gives the resolver") << int(Paused) << "198.51.100.53";
}

// An unprotected adapter on its DHCP servers, which name one of this service's addresses: there is nothing to give
// back, and every run, whatever the mode, leaves it and the DNS client alone.
void tst_ProtectionApply::unchangedValueIsNotWrittenAgain()
{
    QFETCH(int, mode);
    QFETCH(QString, dhcp);
    Fixture f { Mode(mode) };
    const QString id = adapterId(1);
    f.machine.writeMachine({ Adapter { id, QStringLiteral("Ethernet"), 6, { QStringLiteral("192.168.1.20") } } });
    f.machine.setValue(id, QStringLiteral("NameServer"), QString());
    f.machine.setValue(id, QStringLiteral("DhcpNameServer"), dhcp);
    f.save(id, 0, QString(), QVariant());

    for (int run = 0; run < 5; ++run) {
        f.impl.refresh(true);
        f.server.identified = !f.server.identified;
        f.impl.refresh(true);
        f.server.identified = mode != Paused;
    }
    DNSCacheResetter::waitForDone();
    QCOMPARE(f.machine.value(id, QStringLiteral("NameServer")), QString());
    QCOMPARE(f.machine.dnsClientHistory(), QStringList());
}

QTEST_GUILESS_MAIN(tst_ProtectionApply)
#include "tst_protectionapply.moc"
