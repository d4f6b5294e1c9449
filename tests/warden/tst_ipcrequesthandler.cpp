#include "ipcprobe.h"
#include "servertest.h"

#include "core/ipcnewcredentialsrequest.h"
#include "core/ipcrequesthandler.h"
#include "core/ipcserver.h"
#include "core/ipcuserregisterrequest.h"
#include "core/unlockthrottle.h"
#include "network/backend.h"

#include "velmorwire/ipcconnection.h"
#include "velmorwire/methodnames.h"

#include <QFile>
#include <QSettings>
#include <QtTest>

#include <unistd.h>

using namespace Velmor;
using WardenTest::IpcProbe;
using WardenTest::ServerFixture;

namespace {

// Everything a refused method could have changed.
struct Effects
{
    QByteArray settings;
    QStringList calls;
    bool filtering;
    quint32 selected;
    QString user;
    QString password;
    // The adapter's servers now and the ones it gets back.
    QString nameServer;
    QStringList saved;

    bool operator==(const Effects &o) const
    {
        return settings == o.settings && calls == o.calls && filtering == o.filtering && selected == o.selected
            && user == o.user && password == o.password && nameServer == o.nameServer && saved == o.saved;
    }
};

// The settings a method could change; the network configuration's own records are left out.
QByteArray settingsText()
{
    QSettings settings;
    settings.sync();
    QByteArray text;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        if (key.startsWith(QLatin1String("interfaces/")) || key.startsWith(QLatin1String("dnscache-")))
            continue;
        const QVariant value = settings.value(key);
        const QString shown
            = value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(',')) : value.toString();
        text += key.toUtf8() + '=' + shown.toUtf8() + '\n';
    }
    return text;
}

Effects effects(ServerFixture &f)
{
    return { settingsText(), f.cabinet->calls, f.server->isGlobalFilteringEnabled(), f.d->selectedProfileId(),
        f.cabinet->user(), f.cabinet->password(), f.nameServer(), f.d->backend->originalDns(f.adapter).toStringList() };
}

// A running, identified server whose connections open locked unless the settings are unprotected.
struct Running
{
    ServerFixture f;
    std::unique_ptr<IpcProbe> probe;
    QString failure;

    explicit Running(
        bool isProtected = true, bool adapterProtected = true, const QString &nameServer = QStringLiteral("10.0.0.1"))
    {
        f.makeReady();
        f.machine.setValue(f.adapter, QStringLiteral("NameServer"), nameServer);
        f.setSetting(QStringLiteral("settings-protected"), isProtected);
        if (!adapterProtected)
            f.setSetting(QStringLiteral("protected-networks"), QStringList());
        if (!f.server->start()) {
            failure = QStringLiteral("the server did not start: ") + f.server->lastError().message();
            return;
        }
        probe = std::make_unique<IpcProbe>(f.ipcPort);
        // The initial push is through once the identification notification that follows it came.
        if (!QTest::qWaitFor(
                [this] { return probe->methods().contains(QStringLiteral("setIdentification")); }, 30000)) {
            failure = QStringLiteral("no identification notification within 30 s; came: ")
                + probe->methods().join(QLatin1Char(' '));
            probe.reset();
        }
        f.cabinet->calls.clear();
    }
    ~Running() { f.server->stop(); }

    // Answers once the requests before it have been handled.
    QVariantMap answer(const QString &method, const QVariantList &params)
    {
        const int id = probe->call(method, params);
        if (!probe->waitForAnswer(id, 30000))
            return { { QStringLiteral("timeout"), true } };
        return probe->hasAnswer(id) && !probe->error(id).isEmpty()
            ? probe->error(id)
            : QVariantMap { { QStringLiteral("result"), probe->result(id) } };
    }
    void settle() { answer(QStringLiteral("categories"), {}); }
    IPCRequestHandler *handler() const
    {
        const QList<IpcConnection *> connections = f.d->ipcServer->connections();
        return connections.isEmpty() ? nullptr : connections.constLast()->findChild<IPCRequestHandler *>();
    }
};

const QVariantMap locked { { QStringLiteral("code"), 1 }, { QStringLiteral("message"), "Settings are locked" } };

qint64 fakeNow = 0;
qint64 fakeClock()
{
    return fakeNow;
}

} // namespace

// The service's methods on one connection: the settings lock, the keys no connection writes, the checks made
// before the account client is asked, and the answers that come later.
class tst_IPCRequestHandler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lock_data();
    void lock();
    void unlock_data();
    void unlock();
    void unlockAttemptsArePaced();
    void connectionsOpenedUnlockedStayUnlocked();
    void lockWhateverIdentification_data();
    void lockWhateverIdentification();
    void refusedServersChangeNothing_data();
    void refusedServersChangeNothing();
    void lockedServersOnlyForAnAdapterWithoutThem_data();
    void lockedServersOnlyForAnAdapterWithoutThem();
    void protectedKeys_data();
    void protectedKeys();
    void settingSize_data();
    void settingSize();
    void setSchedule_data();
    void setSchedule();
    void setProfile_data();
    void setProfile();
    void setTokensEnabledSwitchesTheMode();
    void addProfileAnswersTheProfile();
    void addDomainAnswersTheId_data();
    void addDomainAnswersTheId();
    void addDomainAnswersTheError();
    void registerUser_data();
    void registerUser();
    void setCredentials_data();
    void setCredentials();
    void handlerGoesWithItsConnection();
};

void tst_IPCRequestHandler::lock_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<bool>("notification");
    QTest::addColumn<QStringList>("calls"); // what an allowed call asks of the account client; nothing else changes

    const QString adapter = NetworkTest::adapterId(1);
    const struct
    {
        const char *method;
        QVariantList params;
        bool allowed;
        QStringList calls;
    } table[] = {
        { DesktopCall::setSetting, { "dd-hostname", "Elsewhere" }, false, {} },
        { DesktopCall::setLocalDnsAddress, { "127.0.0.1", 5400 }, false, {} },
        { DesktopCall::setNetworkProtection, { adapter, false, QVariantList() }, false, {} },
        { DesktopCall::setNetworkProtection, { adapter, true, QVariantList() }, true, {} },
        // Stored servers are written to the adapter at the next pause or stop.
        { DesktopCall::setNetworkProtection, { adapter, true, QVariantList { "203.0.113.66" } }, false, {} },
        { DesktopCall::registerUser, { "new@example.com", "password" }, false, {} },
        { DesktopCall::setCredentials, { "other@example.com", "password" }, false, {} },
        { DesktopCall::setTokensEnabled, { false }, false, {} },
        { DesktopCall::setSettingsProtection, { false }, false, {} },
        { DesktopCall::setSettingsProtection, { true }, true, {} },
        { DesktopCall::setGlobalFiltering, { false, 5 }, false, {} },
        { DesktopCall::setGlobalFiltering, { false, 0 }, false, {} },
        { DesktopCall::setGlobalFiltering, { true, 0 }, true, {} },
        { DesktopCall::setProfile, { 2 }, false, {} },
        { DesktopCall::addProfile, { "Kids" }, false, {} },
        { DesktopCall::removeProfile, { 2 }, false, {} },
        { DesktopCall::categories, {}, true, { "categories" } },
        { DesktopCall::userFilter, { 1 }, true, { "userFilter" } },
        { DesktopCall::domains, { 1, "black" }, true, { "domains" } },
        { DesktopCall::clearDomains, { 1, "black" }, false, {} },
        { DesktopCall::setFilterCat, { 1, 7, true }, false, {} },
        { DesktopCall::addDomain, { 1, "alias", "a.example", "10.0.0.1" }, false, {} },
        { DesktopCall::addDomain, { 1, "black", "a.example" }, false, {} },
        { DesktopCall::removeDomain, { 1, "black", 1000 }, false, {} },
        { DesktopCall::schedule, { 1 }, true, { "schedule" } },
        { DesktopCall::setScheduleEnabled, { 1, true }, false, {} },
        { DesktopCall::setSchedule, { 1, QVariantList() }, false, {} },
        { DesktopCall::setWhiteListOnly, { 1, true }, false, {} },
        { DesktopCall::setSafeSearchEnabled, { 1, true }, false, {} },
        { DesktopCall::updateProfiles, {}, true, { "profiles" } },
        { DesktopCall::updateUserInfo, {}, true, { "userInfo" } },
    };
    for (const auto &row : table) {
        for (const bool notification : { false, true }) {
            QTest::addRow("%s/%d %s %s", row.method, int(row.params.size()), row.allowed ? "allowed" : "refused",
                notification ? "notification" : "call")
                << QString::fromLatin1(row.method) << row.params << row.allowed << notification << row.calls;
        }
    }
}

void tst_IPCRequestHandler::lock()
{
    QFETCH(QString, method);
    QFETCH(QVariantList, params);
    QFETCH(bool, allowed);
    QFETCH(bool, notification);
    QFETCH(QStringList, calls);

    Running r;
    QVERIFY2(r.probe, qPrintable(r.failure));
    QVERIFY(r.handler() && r.handler()->isLocked());
    const Effects before = effects(r.f);
    if (!allowed)
        QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Settings are locked: %1 refused").arg(method)));
    QVariantMap answer;
    if (notification) {
        r.probe->notify(method, params);
    } else {
        answer = r.answer(method, params);
        QVERIFY(!answer.contains(QStringLiteral("timeout")) || allowed);
    }
    r.settle();
    if (allowed)
        QVERIFY(answer != locked);
    else if (!notification)
        QCOMPARE(answer, locked);
    Effects after = effects(r.f);
    // settle() itself asks for the categories.
    QCOMPARE(after.calls.takeLast(), QStringLiteral("categories"));
    QCOMPARE(after.calls, before.calls + (allowed ? calls : QStringList()));
    QCOMPARE(after.settings, before.settings);
    QCOMPARE(after.nameServer, before.nameServer);
    QCOMPARE(after.saved, before.saved);
    after.calls = before.calls;
    QVERIFY(after == before);
    QVERIFY(r.handler()->isLocked());
}

void tst_IPCRequestHandler::unlock_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("accountAnswer"); // -1: the account service is not asked
    QTest::addColumn<int>("code");

    QTest::newRow("the held credentials") << "user@example.com"
                                          << "secret-password" << -1 << 0;
    QTest::newRow("a new password the service accepts") << "user@example.com"
                                                        << "changed-on-the-web" << 0 << 0;
    QTest::newRow("a wrong password") << "user@example.com"
                                      << "guess" << 30 << 30;
    QTest::newRow("another account") << "intruder@example.com"
                                     << "their-own-password" << -1 << 30;
}

void tst_IPCRequestHandler::unlock()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, accountAnswer);
    QFETCH(int, code);

    Running r;
    QVERIFY2(r.probe, qPrintable(r.failure));
    const int id = r.probe->call(QStringLiteral("unlockSettings"), { user, password });
    if (accountAnswer >= 0) {
        QTRY_VERIFY(r.f.cabinet->pending(QStringLiteral("testAuth")));
        QVERIFY(r.f.cabinet->finish(QStringLiteral("testAuth"), Error(uint(accountAnswer), QString())));
    }
    QVERIFY(r.probe->waitForAnswer(id));
    QCOMPARE(r.f.cabinet->calls.contains(QStringLiteral("testAuth")), accountAnswer >= 0);
    QCOMPARE(r.probe->error(id).value(QStringLiteral("code"), 0).toInt(), code);
    QCOMPARE(r.handler()->isLocked(), code != 0);

    // Unlocked, the connection may pause the filtering.
    if (code != 0)
        QTest::ignoreMessage(QtWarningMsg, "Settings are locked: setGlobalFiltering refused");
    const QVariantMap pause = r.answer(QStringLiteral("setGlobalFiltering"), { false, 5 });
    QCOMPARE(pause.contains(QStringLiteral("code")), code != 0);
    QCOMPARE(r.f.server->isGlobalFilteringEnabled(), code != 0);
}

void tst_IPCRequestHandler::unlockAttemptsArePaced()
{
    Running r;
    QVERIFY2(r.probe, qPrintable(r.failure));
    UnlockThrottle &throttle = r.f.d->unlockThrottle;
    // The probes are this process's sockets: their owner is its user.
    const qint64 me = qint64(geteuid());
    const QPointer<IPCRequestHandler> guessing = r.handler();
    throttle.clock = &fakeClock;
    fakeNow = 1000000;
    const QString user = QStringLiteral("user@example.com");
    auto code = [](IpcProbe &probe, int id) { return probe.error(id).value(QStringLiteral("code"), 0).toInt(); };

    const int first = r.probe->call(QStringLiteral("unlockSettings"), { user, QStringLiteral("guess-1") });
    QTRY_VERIFY(r.f.cabinet->pending(QStringLiteral("testAuth")));
    // A second attempt of the same connection while the first is checked is refused.
    QTest::ignoreMessage(QtWarningMsg, "unlockSettings: refused while an attempt of the same connection is checked");
    const int meanwhile = r.probe->call(QStringLiteral("unlockSettings"), { user, QStringLiteral("guess-2") });
    QVERIFY(r.probe->waitForAnswer(meanwhile, 30000));
    QCOMPARE(r.probe->error(meanwhile),
        (QVariantMap { { "code", 1 }, { "message", "An unlock attempt is already in progress" } }));
    QVERIFY(r.f.cabinet->finish(QStringLiteral("testAuth"), Error(30, QString())));
    QVERIFY(r.probe->waitForAnswer(first, 30000));
    QCOMPARE(code(*r.probe, first), 30);
    QCOMPARE(throttle.heldUntil(me), fakeNow + 1000);

    // During the pause every attempt of this user is answered at once with the time left, even the right password
    // on another connection; nothing is checked.
    r.f.cabinet->calls.clear();
    IpcProbe other(r.f.ipcPort);
    QTRY_COMPARE_WITH_TIMEOUT(r.f.d->ipcServer->connections().size(), 2, 30000);
    const QVariantMap paused { { "code", 1 }, { "message", "Try again in 1 s" } };
    const int second = r.probe->call(QStringLiteral("unlockSettings"), { user, QStringLiteral("guess-2") });
    QVERIFY(r.probe->waitForAnswer(second, 30000));
    QCOMPARE(r.probe->error(second), paused);
    fakeNow += 999;
    const int early = other.call(QStringLiteral("unlockSettings"), { user, QStringLiteral("secret-password") });
    QVERIFY(other.waitForAnswer(early, 30000));
    QCOMPARE(other.error(early), paused);
    QVERIFY(r.f.cabinet->calls.isEmpty());

    // The pause is over: a refusal doubles it, a success ends it.
    fakeNow += 1;
    const int third = r.probe->call(QStringLiteral("unlockSettings"), { user, QStringLiteral("guess-3") });
    QTRY_VERIFY(r.f.cabinet->pending(QStringLiteral("testAuth")));
    QVERIFY(r.f.cabinet->finish(QStringLiteral("testAuth"), Error(30, QString())));
    QVERIFY(r.probe->waitForAnswer(third, 30000));
    QCOMPARE(code(*r.probe, third), 30);
    QCOMPARE(throttle.heldUntil(me), fakeNow + 2000);
    const int fourth = other.call(QStringLiteral("unlockSettings"), { user, QStringLiteral("secret-password") });
    QVERIFY(other.waitForAnswer(fourth, 30000));
    QCOMPARE(other.error(fourth), (QVariantMap { { "code", 1 }, { "message", "Try again in 2 s" } }));
    fakeNow += 2000;
    const int right = other.call(QStringLiteral("unlockSettings"), { user, QStringLiteral("secret-password") });
    QVERIFY(other.waitForAnswer(right, 30000));
    QCOMPARE(code(other, right), 0);
    QCOMPARE(other.result(right), QVariant());
    QCOMPARE(throttle.nextDelay(me), UnlockThrottle::firstDelay);
    QVERIFY(guessing && guessing->isLocked());
    QVERIFY(!r.handler()->isLocked());
}

void tst_IPCRequestHandler::connectionsOpenedUnlockedStayUnlocked()
{
    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    QVERIFY(!r.handler()->isLocked());
    QCOMPARE(r.answer(QStringLiteral("setSettingsProtection"), { true }),
        (QVariantMap { { QStringLiteral("result"), QVariant() } }));
    // The lock stops every new connection, not this one.
    r.answer(QStringLiteral("setGlobalFiltering"), { false, 0 });
    QVERIFY(!r.f.server->isGlobalFilteringEnabled());
    IpcProbe second(r.f.ipcPort);
    QTRY_COMPARE(r.f.d->ipcServer->connections().size(), 2);
    QVERIFY(r.handler()->isLocked());
}

void tst_IPCRequestHandler::lockWhateverIdentification_data()
{
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("isProtected");
    QTest::addColumn<int>("identification"); // 0 not ready yet, 1 the account service away, 2 ready
    QTest::addColumn<bool>("locked");

    QTest::newRow("before identification") << true << true << 0 << true;
    QTest::newRow("account service away") << true << true << 1 << true;
    QTest::newRow("identified") << true << true << 2 << true;
    QTest::newRow("no credentials held") << false << true << 0 << false;
    QTest::newRow("settings unprotected") << true << false << 2 << false;
}

void tst_IPCRequestHandler::lockWhateverIdentification()
{
    QFETCH(bool, held);
    QFETCH(bool, isProtected);
    QFETCH(int, identification);
    QFETCH(bool, locked);

    ServerFixture f;
    if (identification == 2)
        f.makeReady();
    if (!held)
        f.cabinet->setHeldCredentials(QString(), QString());
    f.setSetting(QStringLiteral("settings-protected"), isProtected);
    QVERIFY(f.server->start());
    if (identification == 1)
        f.cabinet->fail(31, QStringLiteral("no connection"));
    QCOMPARE(f.server->isIdentified(), identification == 2);
    IpcProbe probe(f.ipcPort);
    QTRY_COMPARE_WITH_TIMEOUT(f.d->ipcServer->connections().size(), 1, 30000);
    QCOMPARE(f.d->ipcServer->connections().at(0)->findChild<IPCRequestHandler *>()->isLocked(), locked);
    // A pause is what a locked connection must not get.
    if (locked)
        QTest::ignoreMessage(QtWarningMsg, "Settings are locked: setGlobalFiltering refused");
    const int id = probe.call(QStringLiteral("setGlobalFiltering"), { false, 5 });
    QVERIFY(probe.waitForAnswer(id, 30000));
    QCOMPARE(probe.error(id).value(QStringLiteral("code")).toInt(), locked ? 1 : 0);
    QCOMPARE(f.server->isGlobalFilteringEnabled(), locked);
    f.server->stop();
}

void tst_IPCRequestHandler::refusedServersChangeNothing_data()
{
    QTest::addColumn<QVariantList>("servers");
    QTest::addColumn<QString>("message"); // empty: stored

    const QString notIPv4 = QStringLiteral("The connection's DNS servers must be IPv4 addresses");
    QTest::newRow("IPv6") << QVariantList { "::1" } << notIPv4;
    QTest::newRow("IPv4 and IPv6") << QVariantList { "10.3.3.3", "::1" } << notIPv4;
    QTest::newRow("the resolver") << QVariantList { "127.0.0.2" }
                                  << QStringLiteral("The address 127.0.0.2 belongs to this service");
    QTest::newRow("IPv4") << QVariantList { "10.3.3.3" } << QString();
}

void tst_IPCRequestHandler::refusedServersChangeNothing()
{
    QFETCH(QVariantList, servers);
    QFETCH(QString, message);

    Running r(false, false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    const Effects before = effects(r.f);
    QCOMPARE(before.nameServer, QStringLiteral("10.0.0.1"));
    const QVariantMap answer = r.answer(QStringLiteral("setNetworkProtection"), { r.f.adapter, true, servers });
    if (!message.isEmpty()) {
        QCOMPARE(answer, (QVariantMap { { "code", 1 }, { "message", message } }));
        QVERIFY(effects(r.f) == before);
        QVERIFY(r.f.setting(QStringLiteral("protected-networks")).toStringList().isEmpty());
        return;
    }
    QCOMPARE(answer, (QVariantMap { { QStringLiteral("result"), QVariant() } }));
    QCOMPARE(r.f.setting(QStringLiteral("protected-networks")).toStringList(), QStringList { r.f.adapter });
    QCOMPARE(r.f.nameServer(), QStringLiteral("127.0.0.1"));
}

void tst_IPCRequestHandler::lockedServersOnlyForAnAdapterWithoutThem_data()
{
    QTest::addColumn<bool>("adapterProtected");
    QTest::addColumn<QString>("nameServer");
    QTest::addColumn<bool>("allowed");

    // The desktop's retry after code 4, with the servers it asked the user for.
    QTest::newRow("unprotected, none saved") << false << QString() << true;
    QTest::newRow("unprotected, some saved") << false << QStringLiteral("10.0.0.7") << false;
    QTest::newRow("protected") << true << QStringLiteral("10.0.0.7") << false;
}

void tst_IPCRequestHandler::lockedServersOnlyForAnAdapterWithoutThem()
{
    QFETCH(bool, adapterProtected);
    QFETCH(QString, nameServer);
    QFETCH(bool, allowed);

    Running r(true, adapterProtected, nameServer);
    QVERIFY2(r.probe, qPrintable(r.failure));
    QVERIFY(r.handler()->isLocked());
    const Effects before = effects(r.f);
    QCOMPARE(before.saved.isEmpty(), allowed);
    if (!allowed)
        QTest::ignoreMessage(QtWarningMsg, "Settings are locked: setNetworkProtection refused");
    const QVariantMap answer
        = r.answer(QStringLiteral("setNetworkProtection"), { r.f.adapter, true, QVariantList { "203.0.113.66" } });
    if (!allowed) {
        QCOMPARE(answer, locked);
        QVERIFY(effects(r.f) == before);
        // What the adapter gets back when the service stops.
        r.f.server->stop();
        QVERIFY(r.f.nameServer() != QStringLiteral("203.0.113.66"));
    } else {
        QCOMPARE(answer, (QVariantMap { { QStringLiteral("result"), QVariant() } }));
        QCOMPARE(r.f.setting(QStringLiteral("protected-networks")).toStringList(), QStringList { r.f.adapter });
    }
}

void tst_IPCRequestHandler::protectedKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");

    QTest::newRow("www") << "www"
                         << "www";
    QTest::newRow("www with slashes") << "/www/"
                                      << "www";
    QTest::newRow("www in capitals") << "WWW"
                                     << "www";
    QTest::newRow("resolver") << "vyrproxy-addr"
                              << "vyrproxy-addr";
    QTest::newRow("certificate errors") << "www-ignore-ssl-errors"
                                        << "www-ignore-ssl-errors";
    QTest::newRow("user") << "user"
                          << "user";
    QTest::newRow("password") << "Password"
                              << "password";
    QTest::newRow("fallback servers") << "fallback-dns"
                                      << "fallback-dns";
}

void tst_IPCRequestHandler::protectedKeys()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);

    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    r.f.setSetting(stored, QStringLiteral("original"));
    const QByteArray before = effects(r.f).settings;
    QTest::ignoreMessage(
        QtWarningMsg, qPrintable(QStringLiteral("setSetting: the setting \"%1\" is not changed over IPC").arg(key)));
    const QVariantMap answer = r.answer(QStringLiteral("setSetting"), { key, QStringLiteral("https://evil.example") });
    QCOMPARE(answer.value(QStringLiteral("code")).toInt(), 1);
    QCOMPARE(answer.value(QStringLiteral("message")).toString(),
        QStringLiteral("The setting %1 cannot be changed").arg(key));
    QCOMPARE(effects(r.f).settings, before);
    QCOMPARE(r.f.setting(stored).toString(), QStringLiteral("original"));

    // Another key is written as text.
    QCOMPARE(r.answer(QStringLiteral("setSetting"), { QStringLiteral("dd-hostname"), QStringLiteral("Kitchen") }),
        (QVariantMap { { QStringLiteral("result"), QVariant() } }));
    QCOMPARE(r.f.setting(QStringLiteral("dd-hostname")).toString(), QStringLiteral("Kitchen"));
}

void tst_IPCRequestHandler::settingSize_data()
{
    QTest::addColumn<int>("keySize");
    QTest::addColumn<int>("valueSize");
    QTest::addColumn<bool>("stored");

    QTest::newRow("4 KiB value") << 11 << 4096 << true;
    QTest::newRow("a byte more") << 11 << 4097 << false;
    QTest::newRow("15 MB value") << 11 << 15000000 << false;
    QTest::newRow("4 KiB key") << 4096 << 1 << true;
    QTest::newRow("a longer key") << 4097 << 1 << false;
}

void tst_IPCRequestHandler::settingSize()
{
    QFETCH(int, keySize);
    QFETCH(int, valueSize);
    QFETCH(bool, stored);

    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    const QString key = QStringLiteral("dd-hostname").leftJustified(keySize, QLatin1Char('k'));
    // Two bytes a character in UTF-8: the bound is on bytes, not characters.
    const QString value
        = valueSize % 2 == 0 ? QString(valueSize / 2, QChar(0x00e9)) : QString(valueSize, QLatin1Char('v'));
    QCOMPARE(value.toUtf8().size(), valueSize);
    const QByteArray before = effects(r.f).settings;
    if (!stored)
        QTest::ignoreMessage(QtWarningMsg, "setSetting: a key or value over 4096 bytes is not stored");
    const QVariantMap answer = r.answer(QStringLiteral("setSetting"), { key, value });
    if (stored) {
        QCOMPARE(answer, (QVariantMap { { QStringLiteral("result"), QVariant() } }));
        QCOMPARE(r.f.setting(key).toString(), value);
        return;
    }
    QCOMPARE(answer,
        (QVariantMap { { "code", 1 }, { "message", "A setting's key and value are at most 4096 bytes long" } }));
    QCOMPARE(effects(r.f).settings, before);
    QVERIFY(!r.f.setting(key).isValid());
}

void tst_IPCRequestHandler::setSchedule_data()
{
    QTest::addColumn<QVariant>("schedule");
    QTest::addColumn<bool>("sent");

    QVariantList week;
    for (int i = 0; i < 7; ++i)
        week.append(QVariantMap { { "is_profile_on", i < 5 }, { "time_from", "08:00" }, { "time_to", "18:00" } });
    QTest::newRow("no schedule") << QVariant(QVariantList()) << true;
    QTest::newRow("a week") << QVariant(week) << true;
    QTest::newRow("three days") << QVariant(week.mid(0, 3)) << false;
    QTest::newRow("a day without its switch") << QVariant(week.mid(0, 6) + QVariantList { QVariantMap() }) << false;
    QTest::newRow("an object") << QVariant(QVariantMap { { "monday", true } }) << false;
    QTest::newRow("a text") << QVariant(QStringLiteral("always")) << false;
    QTest::newRow("null") << QVariant() << false;
}

void tst_IPCRequestHandler::setSchedule()
{
    QFETCH(QVariant, schedule);
    QFETCH(bool, sent);

    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    if (!sent)
        QTest::ignoreMessage(QtWarningMsg, "setSchedule: the schedule of profile 1 cannot be read and is not sent");
    const QVariantMap answer = r.answer(QStringLiteral("setSchedule"), { 1, schedule });
    QCOMPARE(r.f.cabinet->calls.contains(QStringLiteral("setSchedule")), sent);
    if (sent)
        QVERIFY(answer.contains(QStringLiteral("result")));
    else
        QCOMPARE(answer, (QVariantMap { { "code", 1 }, { "message", "Invalid schedule" } }));
}

void tst_IPCRequestHandler::setProfile_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<bool>("known");

    QTest::newRow("another profile") << 1u << true;
    QTest::newRow("the selected one") << 2u << true;
    QTest::newRow("unknown") << 99u << false;
    QTest::newRow("zero") << 0u << false;
}

void tst_IPCRequestHandler::setProfile()
{
    QFETCH(quint32, id);
    QFETCH(bool, known);

    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    // Profile 1 is the default: an unknown id must not fall back to it.
    r.f.cabinet->selectProfile(2);
    QCOMPARE(r.f.d->selectedProfileId(), 2u);
    const QVariantMap answer = r.answer(QStringLiteral("setProfile"), { id });
    if (known) {
        QCOMPARE(answer, (QVariantMap { { QStringLiteral("result"), QVariant() } }));
        QCOMPARE(r.f.d->selectedProfileId(), id);
    } else {
        QCOMPARE(answer, (QVariantMap { { "code", 1 }, { "message", "No such profile" } }));
        QCOMPARE(r.f.d->selectedProfileId(), 2u);
    }
}

void tst_IPCRequestHandler::setTokensEnabledSwitchesTheMode()
{
    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    QCOMPARE(r.f.identification->type(), int(Identification::TokenType));
    r.answer(QStringLiteral("setTokensEnabled"), { false });
    QCOMPARE(r.f.setting(QStringLiteral("tokens-enabled")).toBool(), false);
    QCOMPARE(r.f.identification->type(), int(Identification::IpType));
    QCOMPARE(r.f.identification->state(), int(Identification::Running));
}

void tst_IPCRequestHandler::addProfileAnswersTheProfile()
{
    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    const int id = r.probe->call(QStringLiteral("addProfile"), { QStringLiteral("Kids") });
    QTRY_VERIFY(r.f.cabinet->pending(QStringLiteral("addProfile")));
    QPointer<QObject> request = r.f.cabinet->pending(QStringLiteral("addProfile"));
    // The account's answer holds a token, which stays in the service.
    QCOMPARE(static_cast<CabinetFunction<CabinetProfile> *>(request.data())->result.token, 5000u);
    QVERIFY(r.f.cabinet->finish(QStringLiteral("addProfile")));
    QVERIFY(r.probe->waitForAnswer(id));
    QCOMPARE(r.probe->result(id), CabinetProfile(500, 0, QStringLiteral("Kids"), false).toVariant());
    // The answer's serializer went with its request.
    QTRY_VERIFY(!request);
}

void tst_IPCRequestHandler::addDomainAnswersTheId_data()
{
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QString>("address");

    QTest::newRow("black, address ignored") << QVariantList { 1, "black", "a.example", "10.0.0.1" } << "";
    QTest::newRow("alias") << QVariantList { 1, "alias", "a.example", "10.0.0.1" } << "10.0.0.1";
    QTest::newRow("alias, unreadable address") << QVariantList { 1, "alias", "a.example", "10.0.0" } << "";
    QTest::newRow("three parameters") << QVariantList { 1, "white", "a.example" } << "";
}

void tst_IPCRequestHandler::addDomainAnswersTheId()
{
    QFETCH(QVariantList, params);
    QFETCH(QString, address);

    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    const int id = r.probe->call(QStringLiteral("addDomain"), params);
    QTRY_VERIFY(r.f.cabinet->pending(QStringLiteral("addDomain")));
    auto *request = static_cast<CabinetDomainAddRequest *>(r.f.cabinet->pending(QStringLiteral("addDomain")));
    QCOMPARE(request->result.ip, address.isEmpty() ? QHostAddress() : QHostAddress(address));
    request->result.id = 4000000000u;
    QVERIFY(r.f.cabinet->finish(QStringLiteral("addDomain")));
    QVERIFY(r.probe->waitForAnswer(id));
    QCOMPARE(r.probe->result(id).toLongLong(), 4000000000LL);
}

void tst_IPCRequestHandler::addDomainAnswersTheError()
{
    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    const int id = r.probe->call(QStringLiteral("addDomain"), { 1, "black", "a.example" });
    QTRY_VERIFY(r.f.cabinet->pending(QStringLiteral("addDomain")));
    QVERIFY(r.f.cabinet->finish(QStringLiteral("addDomain"), Error(31, QStringLiteral("request timeout"))));
    QVERIFY(r.probe->waitForAnswer(id));
    QCOMPARE(r.probe->error(id), (QVariantMap { { "code", 31 }, { "message", "request timeout" } }));
}

void tst_IPCRequestHandler::registerUser_data()
{
    QTest::addColumn<uint>("code");
    QTest::newRow("registered") << 0u;
    QTest::newRow("name taken") << 33u;
}

void tst_IPCRequestHandler::registerUser()
{
    QFETCH(uint, code);

    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    const int id = r.probe->call(QStringLiteral("registerUser"), { "new@example.com", "new-password" });
    QTRY_VERIFY(r.f.cabinet->pending(QStringLiteral("registerUser")));
    QVERIFY(r.f.cabinet->finish(QStringLiteral("registerUser"), Error(code, code ? "taken" : "")));
    QVERIFY(r.probe->waitForAnswer(id));
    if (code == 0) {
        QCOMPARE(r.probe->result(id), QVariant(true));
        QCOMPARE(r.f.cabinet->user(), QStringLiteral("new@example.com"));
    } else {
        QCOMPARE(r.probe->error(id), (QVariantMap { { "code", 33 }, { "message", "taken" } }));
        QVERIFY(!r.f.cabinet->calls.contains(QStringLiteral("setCredentials")));
        QCOMPARE(r.f.cabinet->user(), QStringLiteral("user@example.com"));
    }
    // The registration does not outlive its answer.
    QTRY_VERIFY(r.f.d->findChildren<IPCUserRegisterRequest *>().isEmpty());
}

void tst_IPCRequestHandler::setCredentials_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("check"); // -1: none; 0: the account service takes the pair; otherwise its error
    QTest::addColumn<int>("outcome"); // -1: nothing asked; 0: connects; otherwise the account client's error
    QTest::addColumn<QVariantMap>("answer");

    QTest::newRow("the ones in use") << "user@example.com"
                                     << "secret-password" << -1 << -1 << QVariantMap { { "result", true } };
    QTest::newRow("new ones, connected") << "other@example.com"
                                         << "pw" << 0 << 0 << QVariantMap { { "result", true } };
    QTest::newRow("new ones, refused") << "other@example.com"
                                       << "wrong" << 30 << -1
                                       << QVariantMap { { "code", 30 }, { "message", "Invalid login" } };
    QTest::newRow("new ones, account service out of reach")
        << "other@example.com"
        << "pw" << 31 << -1 << QVariantMap { { "code", 31 }, { "message", "Invalid login" } };
    QTest::newRow("checked, then refused")
        << "other@example.com"
        << "pw" << 0 << 30 << QVariantMap { { "code", 30 }, { "message", "Invalid login" } };
}

// Signed in, other credentials are checked first: only a pair the account service takes reaches the account client.
void tst_IPCRequestHandler::setCredentials()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, check);
    QFETCH(int, outcome);
    QFETCH(QVariantMap, answer);

    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    r.f.cabinet->moveToState(Cabinet::Connected);
    r.f.cabinet->calls.clear();
    const int id = r.probe->call(QStringLiteral("setCredentials"), { user, password });
    if (check >= 0) {
        QTRY_VERIFY(r.f.cabinet->calls.contains(QStringLiteral("testAuth")));
        QVERIFY(!r.f.cabinet->calls.contains(QStringLiteral("setCredentials")));
        QVERIFY(r.f.cabinet->finish(QStringLiteral("testAuth"),
            check == 0 ? Velmor::Error() : Velmor::Error(uint(check), QStringLiteral("Invalid login"))));
    }
    if (check <= 0)
        QTRY_VERIFY(r.f.cabinet->calls.contains(QStringLiteral("setCredentials")));
    if (outcome == 0) {
        r.f.cabinet->moveToState(Cabinet::Connecting);
        r.f.cabinet->moveToState(Cabinet::Connected);
    } else if (outcome > 0)
        r.f.cabinet->fail(uint(outcome), QStringLiteral("Invalid login"));
    QVERIFY(r.probe->waitForAnswer(id));
    const QVariantMap received = r.probe->hasAnswer(id) && !r.probe->error(id).isEmpty()
        ? r.probe->error(id)
        : QVariantMap { { QStringLiteral("result"), r.probe->result(id) } };
    QCOMPARE(received, answer);
    if (check > 0) {
        QVERIFY(!r.f.cabinet->calls.contains(QStringLiteral("setCredentials")));
        QCOMPARE(r.f.cabinet->user(), QStringLiteral("user@example.com"));
        // A refused check is a wrong guess: this user's next password waits for the pause, as after an unlock
        // attempt; an account service out of reach starts none.
        const qint64 me = qint64(geteuid());
        QCOMPARE(r.f.d->unlockThrottle.heldUntil(me) > r.f.d->unlockThrottle.clock(), check == 30);
    }
    QTRY_VERIFY(r.f.d->findChildren<IPCNewCredentialsRequest *>().isEmpty());
}

void tst_IPCRequestHandler::handlerGoesWithItsConnection()
{
    Running r(false);
    QVERIFY2(r.probe, qPrintable(r.failure));
    QPointer<IPCRequestHandler> handler = r.handler();
    QVERIFY(handler);
    r.probe.reset();
    QTRY_VERIFY(!handler);
    QVERIFY(r.f.d->ipcServer->connections().isEmpty());
}

QTEST_MAIN(tst_IPCRequestHandler)
#include "tst_ipcrequesthandler.moc"
