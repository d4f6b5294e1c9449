#include "ipcprobe.h"
#include "servertest.h"

#include "core/ipcserver.h"

#include "velmorwire/ipcconnection.h"

#include <QtTest>

using namespace Velmor;
using WardenTest::IpcProbe;
using WardenTest::ServerFixture;

namespace {

const QStringList initialPush { "setSettings", "setNetworks", "setCredentials", "setSettingsLocked",
    "setGlobalFiltering", "setSystemInfo", "setCategories", "setUserInfo", "setProfiles",
    "setProfileScheduleActivity" };

// Waits until each probe has its initial push.
bool waitForPush(const QList<IpcProbe *> &probes)
{
    return QTest::qWaitFor([&] {
        for (const IpcProbe *probe : probes) {
            if (probe->notifications.size() < initialPush.size())
                return false;
        }
        return true;
    });
}

// The held profiles as the link must show them: every token 0, the rest as held. Fails the test when no held
// token could have leaked.
QVariant profilesWithoutTokens(const CabinetProfiles &held)
{
    QVariantList shown;
    const QVariantList profiles = held.toVariant().toList();
    for (const QVariant &profile : profiles) {
        QVariantMap map = profile.toMap();
        if (map.value(QStringLiteral("token")).toUInt() == 0)
            return QStringLiteral("a held profile without a token");
        map.insert(QStringLiteral("token"), QVariant::fromValue<uint>(0));
        shown.append(map);
    }
    return shown;
}

} // namespace

// What the desktop connections are told: the initial push, the broadcasts, and the identification notification
// that always comes on a later turn.
class tst_ServerNotifications : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initialPush_data();
    void initialPush();
    void identificationFollowsThePush_data();
    void identificationFollowsThePush();
    void heldActivityIsPushed_data();
    void heldActivityIsPushed();
    void queueSendsOncePerConnection();
    void deletedConnectionGetsNothing();
    void selectionThenIdentification();
    void lostLinkSendsNoIdentification();
    void emptyPlanIsNotBroadcast();
    void domainsBroadcast();
    void settingsLockedReachesTheOthersOnly();
    void profileChangesCarryNoToken();
};

void tst_ServerNotifications::initialPush_data()
{
    QTest::addColumn<bool>("isProtected");
    QTest::newRow("protected") << true;
    QTest::newRow("unprotected") << false;
}

void tst_ServerNotifications::initialPush()
{
    QFETCH(bool, isProtected);

    ServerFixture f;
    f.makeReady();
    f.setSetting(QStringLiteral("settings-protected"), isProtected);
    QVERIFY(f.server->start());
    // Right after the push, in the same turn, the identification notification is only queued.
    bool queuedOnly = false;
    connect(f.d->ipcServer, &IpcServer::newConnection, f.d, [&](IpcConnection *connection) {
        queuedOnly
            = f.d->identificationTimer.isActive() && (f.d->sendToAll || f.d->identificationQueue.contains(connection));
    });
    IpcProbe probe(f.ipcPort);
    QVERIFY(waitForPush({ &probe }));
    QVERIFY(queuedOnly);
    QVERIFY(probe.settle());
    QCOMPARE(probe.methods(), ::initialPush + QStringList { "setIdentification" });

    const QList<IpcProbe::Notification> &n = probe.notifications;
    const QVariantMap settings { { "localproxy-addr", QStringLiteral("127.0.0.1:%1").arg(f.proxyPort) } };
    QCOMPARE(n.at(0).params, QVariantList { settings });
    // The password and the tokens stay in the service, protected or not: any local process may connect.
    QCOMPARE(n.at(2).params, (QVariantList { "user@example.com", "" }));
    QCOMPARE(n.at(3).params, QVariantList { isProtected });
    QCOMPARE(n.at(4).params, QVariantList { true });
    QCOMPARE(n.at(8).params, (QVariantList { profilesWithoutTokens(f.cabinet->cachedProfiles()), 1 }));
    QCOMPARE(n.at(9).params, (QVariantList { 1, true }));
    const QVariantMap networks = n.at(1).params.value(0).toMap();
    QCOMPARE(networks.value(QStringLiteral("networks")).toList().size(), 1);
    f.server->stop();
}

void tst_ServerNotifications::identificationFollowsThePush_data()
{
    QTest::addColumn<int>("setup"); // 0 identified, 1 identification failed, 2 nothing known
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("params");

    QTest::newRow("identified") << 0 << "setIdentification" << QVariantList { 1, 1 };
    QTest::newRow("failed") << 1 << "setIdentificationError"
                            << QVariantList { 1, QVariantMap { { "code", 30 }, { "message", "refused" } } };
    QTest::newRow("nothing known") << 2 << "" << QVariantList();
}

void tst_ServerNotifications::identificationFollowsThePush()
{
    QFETCH(int, setup);
    QFETCH(QString, method);
    QFETCH(QVariantList, params);

    ServerFixture f;
    if (setup == 0)
        f.makeReady();
    QVERIFY(f.server->start());
    if (setup == 1)
        f.cabinet->fail(30, QStringLiteral("refused"));
    QCoreApplication::processEvents();
    IpcProbe probe(f.ipcPort);
    QVERIFY(waitForPush({ &probe }));
    QVERIFY(probe.settle());
    QCOMPARE(probe.methods().mid(0, 10), ::initialPush);
    if (!method.isEmpty()) {
        QCOMPARE(probe.notifications.size(), 11);
        QCOMPARE(probe.notifications.at(10).method, method);
        QCOMPARE(probe.notifications.at(10).params, params);
    } else {
        QCOMPARE(probe.notifications.size(), 10);
    }
    f.server->stop();
}

void tst_ServerNotifications::heldActivityIsPushed_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<bool>("pushed");
    // -1: no activity held for the selected profile.
    QTest::newRow("held inactive") << 0 << false;
    QTest::newRow("held active") << 1 << true;
    QTest::newRow("none held") << -1 << true;
}

void tst_ServerNotifications::heldActivityIsPushed()
{
    QFETCH(int, held);
    QFETCH(bool, pushed);

    ServerFixture f;
    f.cabinet->holdProfiles(2);
    if (held >= 0)
        f.cabinet->holdProfileData(1, held == 1);
    f.cabinet->selectProfile(1);
    QVERIFY(f.server->start());
    IpcProbe probe(f.ipcPort);
    QVERIFY(waitForPush({ &probe }));
    QCOMPARE(probe.named(QStringLiteral("setProfileScheduleActivity")).at(0).params, (QVariantList { 1, pushed }));
    f.server->stop();
}

void tst_ServerNotifications::queueSendsOncePerConnection()
{
    ServerFixture f;
    f.makeReady();
    QVERIFY(f.server->start());
    // Both accepted in one turn, while a send to every connection is pending.
    f.d->queueIdentification();
    IpcProbe first(f.ipcPort);
    IpcProbe second(f.ipcPort);
    QVERIFY(waitForPush({ &first, &second }));
    QTRY_COMPARE(first.named(QStringLiteral("setIdentification")).size(), 1);
    QTRY_COMPARE(second.named(QStringLiteral("setIdentification")).size(), 1);
    QVERIFY(first.settle());
    QVERIFY(second.settle());
    QCOMPARE(first.named(QStringLiteral("setIdentification")).size(), 1);
    QCOMPARE(second.named(QStringLiteral("setIdentification")).size(), 1);

    // Several requests in one turn, for one connection and for all: one notification each.
    first.clear();
    second.clear();
    const QList<IpcConnection *> connections = f.d->ipcServer->connections();
    f.d->queueIdentification(connections.at(0));
    f.d->queueIdentification(connections.at(0));
    f.d->queueIdentification();
    f.d->queueIdentification(connections.at(1));
    QTRY_COMPARE(first.notifications.size(), 1);
    QTRY_COMPARE(second.notifications.size(), 1);
    QVERIFY(first.settle());
    QVERIFY(second.settle());
    QCOMPARE(first.notifications.size(), 1);
    QCOMPARE(second.notifications.size(), 1);
    f.server->stop();
}

void tst_ServerNotifications::deletedConnectionGetsNothing()
{
    ServerFixture f;
    f.makeReady();
    QVERIFY(f.server->start());
    IpcProbe first(f.ipcPort);
    IpcProbe second(f.ipcPort);
    QVERIFY(waitForPush({ &first, &second }));
    QTRY_COMPARE(first.named(QStringLiteral("setIdentification")).size(), 1);
    QTRY_COMPARE(second.named(QStringLiteral("setIdentification")).size(), 1);
    first.clear();

    const QList<IpcConnection *> connections = f.d->ipcServer->connections();
    f.d->queueIdentification(connections.at(0));
    f.d->queueIdentification(connections.at(1));
    delete connections.at(1);
    QCOMPARE(f.d->ipcServer->connections().size(), 1);
    QTRY_COMPARE(first.notifications.size(), 1);
    QVERIFY(first.settle());
    QCOMPARE(first.notifications.size(), 1);
    QTRY_VERIFY(second.isClosed());
    QCOMPARE(second.named(QStringLiteral("setIdentification")).size(), 1);
    f.server->stop();
}

void tst_ServerNotifications::selectionThenIdentification()
{
    ServerFixture f;
    f.makeReady();
    QVERIFY(f.server->start());
    IpcProbe probe(f.ipcPort);
    QVERIFY(waitForPush({ &probe }));
    QTRY_COMPARE(probe.named(QStringLiteral("setIdentification")).size(), 1);
    probe.clear();

    QVERIFY(f.cabinet->selectProfile(2));
    QTRY_COMPARE(probe.notifications.size(), 2);
    QVERIFY(probe.settle());
    QCOMPARE(probe.notifications.size(), 2);
    QCOMPARE(probe.notifications.at(0).method, QStringLiteral("setSelectedProfile"));
    QCOMPARE(probe.notifications.at(0).params, QVariantList { 2 });
    QCOMPARE(probe.notifications.at(1).method, QStringLiteral("setIdentification"));
    QCOMPARE(probe.notifications.at(1).params, (QVariantList { 1, 2 }));
    QCOMPARE(f.server->profileToken(), 102u);
    f.server->stop();
}

void tst_ServerNotifications::lostLinkSendsNoIdentification()
{
    ServerFixture f(false);
    f.makeReady();
    QVERIFY(f.server->start());
    f.cabinet->moveToState(Cabinet::Connected);
    IpcProbe probe(f.ipcPort);
    QVERIFY(waitForPush({ &probe }));
    QTRY_COMPARE(probe.named(QStringLiteral("setIdentification")).size(), 1);
    QCOMPARE(probe.named(QStringLiteral("setIdentification")).at(0).params, (QVariantList { 0, "203.0.113.7" }));
    probe.clear();

    f.cabinet->setIp(QHostAddress());
    f.cabinet->moveToState(Cabinet::Disconnected);
    QCOMPARE(f.identification->state(), int(Identification::NotReady));
    QVERIFY(probe.settle());
    QVERIFY(probe.notifications.isEmpty());
    f.server->stop();
}

void tst_ServerNotifications::emptyPlanIsNotBroadcast()
{
    ServerFixture f;
    QVERIFY(f.server->start());
    IpcProbe probe(f.ipcPort);
    QVERIFY(waitForPush({ &probe }));
    probe.clear();
    f.cabinet->setUserPlan(QString());
    Q_EMIT f.cabinet->userInfoChanged();
    f.cabinet->setUserPlan(QStringLiteral("PRO"));
    Q_EMIT f.cabinet->userInfoChanged();
    QTRY_COMPARE(probe.notifications.size(), 1);
    QCOMPARE(probe.notifications.at(0).method, QStringLiteral("setUserInfo"));
    QCOMPARE(probe.notifications.at(0).params, QVariantList { f.cabinet->cachedUserInfo().toVariant() });
    f.server->stop();
}

void tst_ServerNotifications::domainsBroadcast()
{
    ServerFixture f;
    f.makeReady();
    f.cabinet->holdDomains(1, CabinetDomain::Black, 3);
    QVERIFY(f.server->start());
    IpcProbe first(f.ipcPort);
    IpcProbe second(f.ipcPort);
    QVERIFY(waitForPush({ &first, &second }));
    first.clear();
    second.clear();
    Q_EMIT f.cabinet->domainsChanged(1, CabinetDomain::Black);
    const QVariantList expected { 1, 1, f.cabinet->cachedDomains(1, CabinetDomain::Black).toVariant() };
    QCOMPARE(expected.at(2).toList().size(), 3);
    for (IpcProbe *probe : { &first, &second }) {
        QTRY_COMPARE(probe->named(QStringLiteral("setDomains")).size(), 1);
        QCOMPARE(probe->named(QStringLiteral("setDomains")).at(0).params, expected);
    }
    f.server->stop();
}

void tst_ServerNotifications::settingsLockedReachesTheOthersOnly()
{
    ServerFixture f;
    QVERIFY(f.server->start());
    IpcProbe caller(f.ipcPort);
    IpcProbe other(f.ipcPort);
    QVERIFY(waitForPush({ &caller, &other }));
    caller.clear();
    other.clear();
    const int id = caller.call(QStringLiteral("setSettingsProtection"), { true });
    QVERIFY(caller.waitForAnswer(id));
    QTRY_COMPARE(other.named(QStringLiteral("setSettingsLocked")).size(), 1);
    QCOMPARE(other.named(QStringLiteral("setSettingsLocked")).at(0).params, QVariantList { true });
    QVERIFY(caller.named(QStringLiteral("setSettingsLocked")).isEmpty());
    QCOMPARE(f.setting(QStringLiteral("settings-protected")).toBool(), true);
    f.server->stop();
}

void tst_ServerNotifications::profileChangesCarryNoToken()
{
    ServerFixture f;
    f.makeReady();
    QVERIFY(f.server->start());
    IpcProbe probe(f.ipcPort);
    QVERIFY(waitForPush({ &probe }));
    QVERIFY(probe.settle());
    const int before = int(probe.notifications.size());
    f.cabinet->holdProfiles(3, { 1 });
    Q_EMIT f.cabinet->profilesChanged();
    QTRY_VERIFY(probe.notifications.size() > before);
    QCOMPARE(probe.notifications.at(before).method, QStringLiteral("setProfiles"));
    QCOMPARE(probe.notifications.at(before).params,
        (QVariantList { profilesWithoutTokens(f.cabinet->cachedProfiles()), 1 }));
    f.server->stop();
}

QTEST_MAIN(tst_ServerNotifications)
#include "tst_servernotifications.moc"
