#include "networktest.h"

#include "network/backend.h"
#include "network/dnscacheresetter.h"

#include "platform/winerror.h"

#include <QSignalSpy>
#include <QtTest>

using namespace NetworkTest;

namespace {

struct Fixture
{
    Machine machine;
    ScriptedServer server;
    Velmor::Backend *backend = new Velmor::Backend(&server);
    QSignalSpy changes { backend, &Velmor::Backend::protectionChanged };
    const QString id = adapterId(1);

    Fixture()
    {
        machine.writeMachine({ Adapter { id, QStringLiteral("Ethernet"), 6, { QStringLiteral("192.168.1.20") } } });
        machine.setValue(id, QStringLiteral("NameServer"), QStringLiteral("10.0.0.1"));
    }
    QStringList remembered()
    {
        machine.settings().sync();
        return machine.settings().value(QStringLiteral("protected-networks")).toStringList();
    }
    void remember(const QStringList &ids)
    {
        machine.settings().setValue(QStringLiteral("protected-networks"), ids);
        machine.settings().sync();
    }
    QString nameServer() { return machine.value(id, QStringLiteral("NameServer")); }
    // Puts the adapter's value back behind the backend's back: only an apply puts it right again.
    void tamper(const QString &text) { machine.setValue(id, QStringLiteral("NameServer"), text); }
};

} // namespace

// The backend front: the remembered choice, the protection switch, and when an apply runs.
class tst_Backend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rememberTwiceChangesOnce();
    void forgettingAnUnknownIdDoesNothing();
    void forgettingRemovesEveryCopy();
    void whileFilteringIsOffOnlyTheChoiceChanges();
    void refusedSwitchIsNotRemembered();
    void switchOnAndOff();
    void sameActiveAddressAppliesOnce_data();
    void sameActiveAddressAppliesOnce();
    void newActiveAddressApplies();
    void noActiveAddressAlwaysApplies();
    void failedApplyIsTriedAgain();
    void stopLeavesTheServerAlone();
    void originalDnsRefusesOurAddresses();
};

void tst_Backend::rememberTwiceChangesOnce()
{
    Fixture f;
    f.backend->rememberNetworkProtection(f.id, true);
    f.backend->rememberNetworkProtection(f.id, true);
    QCOMPARE(f.changes.size(), 1);
    QCOMPARE(f.changes.at(0), (QList<QVariant> { f.id, true }));
    QCOMPARE(f.remembered(), QStringList { f.id });
}

void tst_Backend::forgettingAnUnknownIdDoesNothing()
{
    Fixture f;
    f.remember({ adapterId(2) });
    f.backend->rememberNetworkProtection(f.id, false);
    QCOMPARE(f.changes.size(), 0);
    QCOMPARE(f.remembered(), QStringList { adapterId(2) });
}

void tst_Backend::forgettingRemovesEveryCopy()
{
    Fixture f;
    f.remember({ f.id, adapterId(2), f.id });
    f.backend->rememberNetworkProtection(f.id, false);
    QCOMPARE(f.changes.size(), 1);
    QCOMPARE(f.remembered(), QStringList { adapterId(2) });
}

void tst_Backend::whileFilteringIsOffOnlyTheChoiceChanges()
{
    Fixture f;
    f.server.filtering = false;
    QVERIFY(f.backend->start());
    QVERIFY(f.backend->setNetworkProtection(f.id, true));
    QCOMPARE(f.remembered(), QStringList { f.id });
    QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));
    QCOMPARE(f.changes.size(), 1);
    // Filtering comes back: the next apply acts on the choice.
    f.server.filtering = true;
    f.server.notify();
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    f.backend->stop();
}

void tst_Backend::refusedSwitchIsNotRemembered()
{
    Fixture f;
    QVERIFY(f.backend->start());
    f.machine.refuseWrites(f.id, Velmor::Platform::ErrorAccessDenied);
    QVERIFY(!f.backend->setNetworkProtection(f.id, true));
    QCOMPARE(f.backend->lastError().code(), 5u);
    QCOMPARE(f.backend->lastError().message(), QStringLiteral("Access denied"));
    QCOMPARE(f.remembered(), QStringList());
    QCOMPARE(f.changes.size(), 0);
    f.backend->stop();
}

void tst_Backend::switchOnAndOff()
{
    Fixture f;
    QVERIFY(f.backend->start());
    QVERIFY(f.backend->setNetworkProtection(f.id, true));
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    QVERIFY(f.backend->setNetworkProtection(f.id, false));
    QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));
    QCOMPARE(f.remembered(), QStringList());
    QCOMPARE(f.changes.size(), 2);
    QCOMPARE(f.backend->networks().at(0).isProtected, false);
    f.backend->stop();
}

void tst_Backend::sameActiveAddressAppliesOnce_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("active");
    QTest::newRow("by token") << 1 << "127.0.0.1";
    QTest::newRow("by IP") << 0 << "198.51.100.53";
}

// Signals that leave the active address as it was rewrite nothing, whatever the identification type.
void tst_Backend::sameActiveAddressAppliesOnce()
{
    QFETCH(int, type);
    QFETCH(QString, active);
    Fixture f;
    f.server.type = type;
    f.remember({ f.id });
    QVERIFY(f.backend->start());
    f.server.notify();
    QCOMPARE(f.nameServer(), active);
    f.tamper(QStringLiteral("10.0.0.1"));
    for (int i = 0; i < 3; ++i)
        f.server.notify();
    QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));
    f.backend->stop();
}

// A new local address is a new active address: the adapters follow it, while the flag of the local proxy stays on.
void tst_Backend::newActiveAddressApplies()
{
    Fixture f;
    f.remember({ f.id });
    QVERIFY(f.backend->start());
    f.server.notify();
    f.server.local = QHostAddress(QStringLiteral("127.0.0.2"));
    f.server.notify();
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.2"));
    // Back to IP and to token: each switch applies.
    f.server.type = 0;
    f.server.notify();
    QCOMPARE(f.nameServer(), QStringLiteral("198.51.100.53"));
    f.server.type = 1;
    f.server.notify();
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.2"));
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("originalDns")), QVariant("10.0.0.1"));
    f.backend->stop();
}

void tst_Backend::noActiveAddressAlwaysApplies()
{
    Fixture f;
    f.server.identified = false;
    QVERIFY(f.backend->start());
    f.server.notify();
    for (int i = 0; i < 2; ++i) {
        f.tamper(QStringLiteral("127.0.0.1"));
        f.server.notify();
        QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));
    }
    f.backend->stop();
}

void tst_Backend::failedApplyIsTriedAgain()
{
    Fixture f;
    f.remember({ f.id });
    f.server.type = 0;
    QVERIFY(f.backend->start());
    QCOMPARE(f.nameServer(), QStringLiteral("198.51.100.53"));
    // To token: the adapter on the resolver must follow, and its key refuses.
    f.server.type = 1;
    f.machine.refuseWrites(f.id, Velmor::Platform::ErrorAccessDenied);
    f.server.notify();
    QCOMPARE(f.backend->lastError().code(), 5u);
    f.machine.refuseWrites(f.id, 0);
    f.server.notify();
    QCOMPARE(f.backend->lastError().code(), 0u);
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    f.backend->stop();
}

void tst_Backend::stopLeavesTheServerAlone()
{
    Fixture f;
    f.remember({ f.id });
    f.server.filtering = false;
    QVERIFY(f.backend->start());
    QVERIFY(f.backend->stop());
    f.server.filtering = true;
    f.server.notify();
    QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));
    // Started again (twice over), it follows the server; stopped, it does not.
    QVERIFY(f.backend->start());
    QVERIFY(f.backend->start());
    f.tamper(QStringLiteral("10.0.0.1"));
    f.server.notify();
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    QVERIFY(f.backend->stop());
    f.tamper(QStringLiteral("10.0.0.1"));
    f.server.notify();
    QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));
}

void tst_Backend::originalDnsRefusesOurAddresses()
{
    Fixture f;
    QVERIFY(f.backend->start());
    QVERIFY(!f.backend->setOriginalDns(f.id, Velmor::HostList::fromStringList({ QStringLiteral("127.0.0.1") })));
    QCOMPARE(f.backend->lastError().code(), 1u);
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("originalDns")), QVariant("10.0.0.1"));
    QVERIFY(f.backend->setOriginalDns(f.id, Velmor::HostList::fromStringList({ QStringLiteral("9.9.9.9") })));
    QCOMPARE(f.machine.interfaceSetting(f.id, QStringLiteral("originalDns")), QVariant("9.9.9.9"));
    f.backend->stop();
}

QTEST_GUILESS_MAIN(tst_Backend)
#include "tst_backend.moc"
