#include "servertest.h"

#include "dns/dnsproxy.h"
#include "dns/httpserver.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

using namespace Velmor;
using WardenTest::ServerFixture;

namespace {

const QHostAddress publicAddress(QStringLiteral("203.0.113.7"));

// Identification's own account of itself, and what runs on its behalf.
struct Snapshot
{
    int state;
    int type;
    bool proxy;
    bool redirector;
    bool ipTimer;
};

Snapshot snapshot(const ServerFixture &f)
{
    const Identification *i = f.identification;
    return { i->state(), i->type(), i->dnsProxy()->isListening(), i->httpServer()->isListening(),
        i->ipTimer().isActive() };
}

void makeTokenReady(ServerFixture &f)
{
    f.cabinet->holdProfiles(2, { 1, 2 });
    f.cabinet->selectProfile(1);
}

// A profile is selected (an address can be asked for), but its data is not there yet.
void makeTokenUnready(ServerFixture &f)
{
    f.cabinet->holdProfiles(2);
    f.cabinet->selectProfile(1);
    f.cabinet->dropProfileData(1);
}

} // namespace

// Identification by IP address and by token: its states, the switches between modes, and what each mode leaves
// running.
class tst_Identification : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tokenModeWaitsForTheProfile();
    void ipModeWaitsForTheAddress();
    void switches_data();
    void switches();
    void pendingSwitchCancelled();
    void pendingSwitchCompletes_data();
    void pendingSwitchCompletes();
    void stopEndsEverything_data();
    void stopEndsEverything();
    void lostReadiness();
    void disconnectedWithoutReadiness();
    void accountErrors_data();
    void accountErrors();
    void planRule_data();
    void planRule();
    void credentialsWhileStoppedWait();
    void redirectorFailure();
};

void tst_Identification::tokenModeWaitsForTheProfile()
{
    ServerFixture f;
    QVERIFY(f.server->start());
    QCOMPARE(f.identification->state(), int(Identification::NotReady));
    QVERIFY(!f.server->isIdentified());
    QVERIFY(f.server->activeProxyAddress().isNull());

    QSignalSpy states(f.identification, &Identification::stateChanged);
    makeTokenReady(f);
    Q_EMIT f.cabinet->profilesChanged();
    const Snapshot s = snapshot(f);
    QCOMPARE(s.state, int(Identification::Running));
    QVERIFY(s.proxy && s.redirector && !s.ipTimer);
    QCOMPARE(states.size(), 1);
    QCOMPARE(f.server->activeProxyAddress(), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(f.server->profileToken(), 101u);
    f.server->stop();
}

void tst_Identification::ipModeWaitsForTheAddress()
{
    ServerFixture f(false);
    makeTokenReady(f);
    f.cabinet->calls.clear();
    QVERIFY(f.server->start());
    QCOMPARE(f.identification->state(), int(Identification::NotReady));
    QCOMPARE(f.cabinet->calls, QStringList { QStringLiteral("updateIP") });

    f.cabinet->setIp(publicAddress);
    Q_EMIT f.cabinet->ipChanged();
    const Snapshot s = snapshot(f);
    QCOMPARE(s.state, int(Identification::Running));
    QVERIFY(!s.proxy && !s.redirector && s.ipTimer);
    QCOMPARE(f.identification->ipTimer().interval(), 300000);
    QCOMPARE(f.cabinet->calls.count(QStringLiteral("updateIP")), 2);
    QCOMPARE(f.server->activeProxyAddress(), QHostAddress(QStringLiteral("127.0.0.2")));
    f.server->stop();
}

void tst_Identification::switches_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("fromReady");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("toReady");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("proxy");
    QTest::addColumn<bool>("ipTimer");
    QTest::addColumn<int>("typeChanges");

    const int ip = Identification::IpType;
    const int token = Identification::TokenType;
    const int waiting = Identification::NotReady;
    const int pending = Identification::ChangePending;
    const int running = Identification::Running;
    QTest::newRow("token runs, address unknown")
        << token << true << ip << false << pending << token << true << false << 0;
    QTest::newRow("token runs, address known") << token << true << ip << true << running << ip << false << true << 1;
    QTest::newRow("IP runs, token not ready") << ip << true << token << false << pending << ip << false << true << 0;
    QTest::newRow("IP runs, token ready") << ip << true << token << true << running << token << true << false << 1;
    QTest::newRow("token waits, address unknown")
        << token << false << ip << false << waiting << ip << false << false << 1;
    QTest::newRow("token waits, address known") << token << false << ip << true << running << ip << false << true << 1;
    QTest::newRow("IP waits, token not ready")
        << ip << false << token << false << waiting << token << false << false << 1;
    QTest::newRow("IP waits, token ready") << ip << false << token << true << running << token << true << false << 1;
    QTest::newRow("same type again") << token << true << token << true << running << token << true << false << 0;
}

void tst_Identification::switches()
{
    QFETCH(int, from);
    QFETCH(bool, fromReady);
    QFETCH(int, to);
    QFETCH(bool, toReady);
    QFETCH(int, state);
    QFETCH(int, type);
    QFETCH(bool, proxy);
    QFETCH(bool, ipTimer);
    QFETCH(int, typeChanges);

    ServerFixture f(from == Identification::TokenType);
    const bool tokenReady = from == Identification::TokenType ? fromReady : toReady;
    const bool ipReady = from == Identification::IpType ? fromReady : toReady;
    if (tokenReady)
        makeTokenReady(f);
    else
        makeTokenUnready(f);
    if (ipReady)
        f.cabinet->setIp(publicAddress);
    QVERIFY(f.server->start());
    QCOMPARE(f.identification->state(), int(fromReady ? Identification::Running : Identification::NotReady));

    QSignalSpy typeChanged(f.identification, &Identification::typeChanged);
    f.cabinet->calls.clear();
    f.identification->setType(to);
    const Snapshot s = snapshot(f);
    QCOMPARE(s.state, state);
    QCOMPARE(s.type, type);
    QCOMPARE(s.proxy, proxy);
    QCOMPARE(s.redirector, proxy);
    QCOMPARE(s.ipTimer, ipTimer);
    QCOMPARE(typeChanged.size(), typeChanges);
    if (state == Identification::ChangePending)
        QCOMPARE(f.identification->pendingType(), to);
    // Asking for IP asks the account service for the address, ready or not.
    if (to == Identification::IpType && to != from)
        QVERIFY(f.cabinet->calls.contains(QStringLiteral("updateIP")));
    f.server->stop();
}

void tst_Identification::pendingSwitchCancelled()
{
    ServerFixture f;
    makeTokenReady(f);
    QVERIFY(f.server->start());
    f.identification->setType(Identification::IpType);
    QCOMPARE(f.identification->state(), int(Identification::ChangePending));

    QSignalSpy states(f.identification, &Identification::stateChanged);
    QSignalSpy types(f.identification, &Identification::typeChanged);
    f.identification->setType(Identification::TokenType);
    QCOMPARE(f.identification->state(), int(Identification::Running));
    QCOMPARE(f.identification->pendingType(), int(Identification::TokenType));
    QCOMPARE(states.size(), 1);
    QCOMPARE(types.size(), 0);
    // A later address changes nothing any more.
    f.cabinet->setIp(publicAddress);
    Q_EMIT f.cabinet->ipChanged();
    QCOMPARE(f.identification->type(), int(Identification::TokenType));
    QVERIFY(f.identification->dnsProxy()->isListening());
    f.server->stop();
}

void tst_Identification::pendingSwitchCompletes_data()
{
    QTest::addColumn<bool>("toIp");
    QTest::newRow("token to IP") << true;
    QTest::newRow("IP to token") << false;
}

void tst_Identification::pendingSwitchCompletes()
{
    QFETCH(bool, toIp);

    ServerFixture f(toIp);
    if (toIp) {
        makeTokenReady(f);
    } else {
        makeTokenUnready(f);
        f.cabinet->setIp(publicAddress);
    }
    QVERIFY(f.server->start());
    f.identification->setType(toIp ? Identification::IpType : Identification::TokenType);
    QCOMPARE(f.identification->state(), int(Identification::ChangePending));
    // Still the old mode's address while the new one waits.
    QCOMPARE(f.server->activeProxyAddress(),
        toIp ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(QStringLiteral("127.0.0.2")));

    QSignalSpy types(f.identification, &Identification::typeChanged);
    if (toIp) {
        f.cabinet->setIp(publicAddress);
        Q_EMIT f.cabinet->ipChanged();
    } else {
        f.cabinet->holdProfileData(1);
        Q_EMIT f.cabinet->domainsChanged(1, 0);
    }
    const Snapshot s = snapshot(f);
    QCOMPARE(s.state, int(Identification::Running));
    QCOMPARE(s.type, int(toIp ? Identification::IpType : Identification::TokenType));
    QCOMPARE(types.size(), 1);
    // Nothing of the old mode is left running.
    QCOMPARE(s.proxy, !toIp);
    QCOMPARE(s.redirector, !toIp);
    QCOMPARE(s.ipTimer, toIp);
    QCOMPARE(f.nameServer(), toIp ? QStringLiteral("127.0.0.2") : QStringLiteral("127.0.0.1"));
    f.server->stop();
}

void tst_Identification::stopEndsEverything_data()
{
    QTest::addColumn<bool>("tokens");
    QTest::addColumn<bool>("pending");
    QTest::newRow("token running") << true << false;
    QTest::newRow("IP running") << false << false;
    QTest::newRow("token running, IP pending") << true << true;
    QTest::newRow("IP running, token pending") << false << true;
}

void tst_Identification::stopEndsEverything()
{
    QFETCH(bool, tokens);
    QFETCH(bool, pending);

    ServerFixture f(tokens);
    if (tokens || !pending)
        makeTokenReady(f);
    else
        makeTokenUnready(f);
    if (!tokens || !pending)
        f.cabinet->setIp(publicAddress);
    QVERIFY(f.server->start());
    if (pending) {
        f.identification->setType(tokens ? Identification::IpType : Identification::TokenType);
        QCOMPARE(f.identification->state(), int(Identification::ChangePending));
    }
    QSignalSpy states(f.identification, &Identification::stateChanged);
    f.identification->stop();
    const Snapshot s = snapshot(f);
    QCOMPARE(s.state, int(Identification::Stopped));
    QVERIFY(!s.proxy && !s.redirector && !s.ipTimer);
    QVERIFY(states.size() >= 1);
    f.server->stop();
}

void tst_Identification::lostReadiness()
{
    ServerFixture f;
    makeTokenReady(f);
    QVERIFY(f.server->start());
    QList<int> states;
    connect(f.identification, &Identification::stateChanged, f.identification,
        [&] { states.append(f.identification->state()); });
    QSignalSpy errors(f.identification, &Identification::error);

    f.cabinet->dropProfileData(1);
    Q_EMIT f.cabinet->profilesChanged();
    QCOMPARE(states, (QList<int> { Identification::Stopped, Identification::NotReady }));
    QCOMPARE(errors.size(), 1);
    QCOMPARE(f.identification->lastError().code(), 1u);
    QCOMPARE(f.identification->lastError().message(), QStringLiteral("filter is not ready"));
    QCOMPARE(f.nameServer(), QStringLiteral("10.0.0.1"));

    // The data comes back: running again, the error gone.
    f.cabinet->holdProfileData(1);
    Q_EMIT f.cabinet->userFilterChanged(1);
    QCOMPARE(f.identification->state(), int(Identification::Running));
    QCOMPARE(f.identification->lastError().code(), 0u);
    QVERIFY(f.identification->dnsProxy()->isListening());
    QCOMPARE(f.nameServer(), QStringLiteral("127.0.0.1"));
    f.server->stop();
}

void tst_Identification::disconnectedWithoutReadiness()
{
    ServerFixture f(false);
    f.makeReady();
    QVERIFY(f.server->start());
    QCOMPARE(f.identification->state(), int(Identification::Running));
    QSignalSpy errors(f.identification, &Identification::error);

    // Still ready when the link drops: nothing changes.
    f.cabinet->moveToState(Cabinet::Connected);
    f.cabinet->moveToState(Cabinet::Disconnected);
    QCOMPARE(f.identification->state(), int(Identification::Running));

    f.cabinet->moveToState(Cabinet::Connected);
    f.cabinet->setIp(QHostAddress());
    f.cabinet->moveToState(Cabinet::Disconnected);
    QCOMPARE(f.identification->state(), int(Identification::NotReady));
    QCOMPARE(errors.size(), 0);
    QCOMPARE(f.identification->lastError().code(), 0u);
    f.server->stop();
}

void tst_Identification::accountErrors_data()
{
    QTest::addColumn<bool>("tokens");
    QTest::addColumn<bool>("pendingSwitch");
    QTest::addColumn<uint>("code");
    QTest::addColumn<bool>("adopted");
    QTest::addColumn<int>("typeAfter");

    const int ip = Identification::IpType;
    const int token = Identification::TokenType;
    QTest::newRow("token waits, 1051") << true << false << 1051u << false << token;
    QTest::newRow("token waits, 30") << true << false << 30u << true << token;
    QTest::newRow("IP waits, 1051") << false << false << 1051u << true << ip;
    QTest::newRow("IP waits, 30") << false << false << 30u << true << ip;
    QTest::newRow("IP waits, 31") << false << false << 31u << false << ip;
    QTest::newRow("token runs, IP pending, 1051") << true << true << 1051u << true << ip;
    QTest::newRow("IP runs, token pending, 1051") << false << true << 1051u << false << ip;
    QTest::newRow("IP runs, token pending, 30") << false << true << 30u << true << token;
}

void tst_Identification::accountErrors()
{
    QFETCH(bool, tokens);
    QFETCH(bool, pendingSwitch);
    QFETCH(uint, code);
    QFETCH(bool, adopted);
    QFETCH(int, typeAfter);

    ServerFixture f(tokens);
    if (pendingSwitch && tokens)
        makeTokenReady(f);
    else
        makeTokenUnready(f);
    if (pendingSwitch && !tokens)
        f.cabinet->setIp(publicAddress);
    QVERIFY(f.server->start());
    if (pendingSwitch)
        f.identification->setType(tokens ? Identification::IpType : Identification::TokenType);
    const int before = f.identification->state();
    QVERIFY(before == Identification::NotReady || before == Identification::ChangePending);

    f.cabinet->fail(code, QStringLiteral("refused"));
    if (adopted) {
        QCOMPARE(f.identification->state(), int(Identification::Stopped));
        QCOMPARE(f.identification->lastError().code(), code);
        QVERIFY(!f.identification->ipTimer().isActive());
        QVERIFY(!f.identification->dnsProxy()->isListening());
    } else {
        QCOMPARE(f.identification->state(), before);
        QCOMPARE(f.identification->lastError().code(), 0u);
    }
    QCOMPARE(f.identification->type(), typeAfter);
    f.server->stop();
}

void tst_Identification::planRule_data()
{
    QTest::addColumn<QStringList>("plans");
    QTest::addColumn<bool>("switched");

    QTest::newRow("paid to free") << QStringList { "PRO", "FREE" } << true;
    QTest::newRow("free to free") << QStringList { "FREE", "FREE" } << false;
    QTest::newRow("first is free") << QStringList { "FREE" } << false;
    QTest::newRow("empty is not remembered") << QStringList { "", "FREE" } << false;
    QTest::newRow("paid, empty, free") << QStringList { "PRO", "", "FREE" } << true;
}

void tst_Identification::planRule()
{
    QFETCH(QStringList, plans);
    QFETCH(bool, switched);

    ServerFixture f(false);
    f.cabinet->holdProfiles(2);
    f.cabinet->selectProfile(1);
    QVERIFY(f.server->start());
    for (const QString &plan : plans) {
        f.cabinet->setUserPlan(plan);
        Q_EMIT f.cabinet->userInfoChanged();
    }
    QCOMPARE(f.setting(QStringLiteral("tokens-enabled")).toBool(), switched);
    QCOMPARE(f.identification->type(), int(switched ? Identification::TokenType : Identification::IpType));
    f.server->stop();
}

void tst_Identification::credentialsWhileStoppedWait()
{
    ServerFixture f;
    makeTokenReady(f);
    QVERIFY(f.server->start());
    f.server->stop();
    Q_EMIT f.cabinet->credentialsUpdated();
    QCOMPARE(f.identification->state(), int(Identification::Stopped));
    QVERIFY(!f.identification->dnsProxy()->isListening());
    QVERIFY(f.server->start());
    QCOMPARE(f.identification->state(), int(Identification::Running));
    f.server->stop();
}

void tst_Identification::redirectorFailure()
{
    ServerFixture f;
    auto squatter = std::make_unique<QTcpServer>();
    QVERIFY(squatter->listen(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 port = squatter->serverPort();
    f.setSetting(QStringLiteral("httpd-port"), port);
    makeTokenReady(f);
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^Failed to start http server on 127.0.0.1:%1: ").arg(port)));
    QVERIFY(f.server->start());
    // The proxy filters all the same; the block page comes once its port is free.
    QCOMPARE(f.identification->state(), int(Identification::Running));
    QCOMPARE(f.identification->lastError().code(), 0u);
    QVERIFY(f.identification->dnsProxy()->isListening());
    QVERIFY(!f.server->activeProxyAddress().isNull());
    QVERIFY(!f.identification->httpServer()->isListening());
    squatter.reset();
    QTRY_VERIFY2_WITH_TIMEOUT(
        f.identification->httpServer()->isListening(), "the block page listening after its port was freed", 30000);
    QCOMPARE(f.identification->httpServer()->serverPort(), port);
    f.server->stop();
}

QTEST_MAIN(tst_Identification)
#include "tst_identification.moc"
