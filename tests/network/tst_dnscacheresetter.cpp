#include "networktest.h"

#include "network/dnscacheresetter.h"

#include "platform/servicemanager.h"

#include <QDir>
#include <QSemaphore>
#include <QtTest>

using namespace NetworkTest;
using namespace Velmor::Platform;

namespace {

const QString dnsClient = QStringLiteral("Dnscache");

ServiceState clientState()
{
    ServiceState state = ServiceState::Stopped;
    ServiceManager::queryState(dnsClient, &state);
    return state;
}

} // namespace

// Restarts of the DNS client: one at a time, one more for requests made during one, and a client a crash left
// stopped started again.
class tst_DNSCacheResetter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void requestsDuringAHeldRestartGiveOneMore();
    void requestAfterTheLastStartsAnother();
    void stoppedClientStaysStopped();
    void noStopWithoutTheRecord();
    void recover_data();
    void recover();
};

void tst_DNSCacheResetter::cleanup()
{
    DNSCacheResetter::setRestartHook(nullptr);
    DNSCacheResetter::waitForDone();
}

void tst_DNSCacheResetter::requestsDuringAHeldRestartGiveOneMore()
{
    Machine machine;
    QSemaphore entered;
    QSemaphore release;
    DNSCacheResetter::setRestartHook([&] {
        entered.release();
        release.acquire();
    });
    DNSCacheResetter::reset();
    QVERIFY(entered.tryAcquire(1, 10000));
    for (int i = 0; i < 3; ++i)
        DNSCacheResetter::reset();
    release.release(2);
    DNSCacheResetter::waitForDone();
    QCOMPARE(machine.dnsClientHistory(),
        (QStringList {
            QStringLiteral("stop"), QStringLiteral("start"), QStringLiteral("stop"), QStringLiteral("start") }));
    QCOMPARE(clientState(), ServiceState::Running);
    machine.settings().sync();
    QVERIFY(!machine.settings().contains(QStringLiteral("dnscache-stopped")));
}

void tst_DNSCacheResetter::requestAfterTheLastStartsAnother()
{
    Machine machine;
    DNSCacheResetter::reset();
    DNSCacheResetter::waitForDone();
    QCOMPARE(machine.dnsClientHistory().size(), 2);
    DNSCacheResetter::reset();
    DNSCacheResetter::waitForDone();
    QCOMPARE(machine.dnsClientHistory().size(), 4);
}

void tst_DNSCacheResetter::stoppedClientStaysStopped()
{
    Machine machine;
    QCOMPARE(ServiceManager::controlService(dnsClient, ControlStop), 0u);
    DNSCacheResetter::reset();
    DNSCacheResetter::waitForDone();
    QCOMPARE(machine.dnsClientHistory(), QStringList { QStringLiteral("stop") });
    QCOMPARE(clientState(), ServiceState::Stopped);
}

// A restart that cannot first record that it stops the client does not stop it: after a crash nothing would
// know to start it again.
void tst_DNSCacheResetter::noStopWithoutTheRecord()
{
    Machine machine;
    QCOMPARE(clientState(), ServiceState::Running);
    const QString folder = machine.path(QStringLiteral("settings/Velmor"));
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QDir().mkpath(machine.path(QStringLiteral("settings"))));
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    DNSCacheResetter::reset();
    DNSCacheResetter::waitForDone();
    QCOMPARE(machine.dnsClientHistory(), QStringList());
    QCOMPARE(clientState(), ServiceState::Running);
}

void tst_DNSCacheResetter::recover_data()
{
    QTest::addColumn<bool>("recorded");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QStringList>("history");
    QTest::newRow("left stopped by a restart") << true << false << QStringList { "stop", "start" };
    QTest::newRow("started meanwhile") << true << true << QStringList();
    QTest::newRow("stopped by someone else") << false << false << QStringList { "stop" };
    QTest::newRow("nothing to do") << false << true << QStringList();
}

void tst_DNSCacheResetter::recover()
{
    QFETCH(bool, recorded);
    QFETCH(bool, running);
    QFETCH(QStringList, history);
    Machine machine;
    if (!running)
        QCOMPARE(ServiceManager::controlService(dnsClient, ControlStop), 0u);
    if (recorded) {
        machine.settings().setValue(QStringLiteral("dnscache-stopped"), true);
        machine.settings().sync();
    }
    DNSCacheResetter::recover();
    QCOMPARE(machine.dnsClientHistory(), history);
    QCOMPARE(clientState(), running || recorded ? ServiceState::Running : ServiceState::Stopped);
    machine.settings().sync();
    QVERIFY(!machine.settings().contains(QStringLiteral("dnscache-stopped")));
}

QTEST_GUILESS_MAIN(tst_DNSCacheResetter)
#include "tst_dnscacheresetter.moc"
