// Random requests to the service's real request handler on a locked connection, through the JSON-RPC engine the
// link uses: nothing may crash or leak, and nothing the lock refuses may take effect (the settings, the filtering
// switch, the credentials, the selected profile, operations sent to the account service), and no call, refused or
// allowed, changes the protected adapter's servers or the ones it gets back. The first input byte
// chooses the form: a call or a notification of one of the service's methods with the rest as its parameter text,
// or (high bit set) the rest as the whole request text, batches included. An input that unlocks the connection with
// the account's own password proves nothing and is only counted.
#include "../../tests/warden/scriptedcabinet.h"
#include "../../tests/warden/scriptedmachine.h"

#include "core/identification.h"
#include "core/ipcrequesthandler.h"
#include "core/server.h"
#include "core/server_p.h"

#include "network/backend.h"

#include "platform/iphelper.h"
#include "platform/registry.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/localsocketipcconnection.h"
#include "velmorwire/methodnames.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Velmor;

namespace {

// In this order: the first byte of the inputs in fuzz/corpus picks the method by its index.
const char *const methods[] = { DesktopCall::setSetting, DesktopCall::setLocalDnsAddress,
    DesktopCall::setNetworkProtection, DesktopCall::registerUser, DesktopCall::unlockSettings,
    DesktopCall::setCredentials, DesktopCall::setTokensEnabled, DesktopCall::setSettingsProtection,
    DesktopCall::setGlobalFiltering, DesktopCall::setProfile, DesktopCall::addProfile, DesktopCall::removeProfile,
    DesktopCall::systemInfo, DesktopCall::categories, DesktopCall::userFilter, DesktopCall::domains,
    DesktopCall::clearDomains, DesktopCall::setFilterCat, DesktopCall::addDomain, DesktopCall::removeDomain,
    DesktopCall::schedule, DesktopCall::setScheduleEnabled, DesktopCall::setSchedule, DesktopCall::setWhiteListOnly,
    DesktopCall::setSafeSearchEnabled, DesktopCall::updateProfiles, DesktopCall::updateUserInfo };

// What a locked connection may start at the account service: reads, refreshes and the password check.
const QStringList allowedOperations { "categories", "userFilter", "domains", "schedule", "profiles", "userInfo",
    "testAuth", "updateIP" };

const QString user = QStringLiteral("owner@example.com");
const QString password = QStringLiteral("q8V!x2#Lm9@zR4&tW7-held");

struct Service
{
    QTemporaryDir root;
    std::unique_ptr<QCoreApplication> app;
    WardenTest::ScriptedCabinet *cabinet = nullptr;
    std::unique_ptr<Server> server;
    ServerPrivate *d = nullptr;
    QString adapter;
    HostList adapterServers;
    long unlocked = 0;
    long inputs = 0;
};

Service *service()
{
    static Service *instance = [] {
        auto s = new Service;
        static int argc = 1;
        static char name[] = "fuzz_lockedconnection";
        static char *argv[] = { name, nullptr };
        s->app = std::make_unique<QCoreApplication>(argc, argv);
        s->adapter = WardenTest::prepareScriptedMachine(s->root.path(), true);
        s->cabinet = new WardenTest::ScriptedCabinet;
        s->server = std::make_unique<Server>(s->cabinet, nullptr);
        s->d = ServerPrivate::get(s->server.get());
        QCoreApplication::processEvents();
        s->cabinet->setHeldCredentials(user, password);
        s->cabinet->holdProfiles(3, { 1, 2, 3 });
        s->cabinet->selectProfile(1);
        s->cabinet->clearError();
        if (!s->server->start() || !s->server->isIdentified()) {
            std::fprintf(stderr, "the server did not start identified\n");
            std::abort();
        }
        s->adapterServers = s->d->backend->originalDns(s->adapter);
        if (s->adapterServers.isEmpty()) {
            std::fprintf(stderr, "the protected adapter has no servers saved\n");
            std::abort();
        }
        std::atexit([] {
            std::fprintf(stderr, "inputs: %ld, unlocked by the account's password: %ld\n", service()->inputs,
                service()->unlocked);
        });
        return s;
    }();
    return instance;
}

struct Effects
{
    QVariantMap settings;
    QStringList protectedNetworks;
    bool filtering = true;
    QString user;
    QString password;
    quint32 selected = 0;
    QString nameServer;
    QStringList saved;
};

Effects effects(Service *s)
{
    Effects e;
    QSettings settings;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        // Switching a network's protection on is allowed, with the servers it is to get back; the network
        // configuration keeps its own records beside.
        if (key.startsWith(QLatin1String("interfaces/")) || key.startsWith(QLatin1String("dnscache-"))
            || key == QLatin1String("protected-networks"))
            continue;
        e.settings.insert(key, settings.value(key));
    }
    e.protectedNetworks = settings.value(QStringLiteral("protected-networks")).toStringList();
    e.filtering = s->server->isGlobalFilteringEnabled();
    e.user = s->cabinet->user();
    e.password = s->cabinet->password();
    e.selected = s->d->selectedProfileId();
    Platform::Registry::Value value;
    Platform::Registry::queryValue(Platform::IpHelper::interfaceKey(s->adapter), QStringLiteral("NameServer"), &value);
    e.nameServer = value.text;
    e.saved = s->d->backend->originalDns(s->adapter).toStringList();
    return e;
}

void violation(const char *what)
{
    std::fprintf(stderr, "a locked connection changed %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Service *s = service();
    if (size < 1)
        return 0;
    ++s->inputs;
    // Whatever an earlier unlocked input changed is put back.
    s->d->setGlobalFiltering(true, 0);
    // An earlier input's refused password must not hold this one's attempts for a minute.
    s->d->unlockThrottle.accepted(0);
    s->cabinet->setHeldCredentials(user, password);
    s->cabinet->selectProfile(1);
    s->d->backend->setOriginalDns(s->adapter, s->adapterServers);
    s->d->backend->setNetworkProtection(s->adapter, true);
    s->cabinet->calls.clear();

    QByteArray text;
    const QByteArray rest(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (data[0] & 0x80) {
        text = rest;
    } else {
        const char *method = methods[(data[0] & 0x3f) % (sizeof(methods) / sizeof(methods[0]))];
        const bool notification = data[0] & 0x40;
        text = QByteArray("{\"jsonrpc\":\"2.0\",") + (notification ? "" : "\"id\":1,") + "\"method\":\"" + method
            + "\",\"params\":" + rest + "}";
    }

    const Effects before = effects(s);
    {
        LocalSocketIpcConnection connection;
        auto *handler = new IPCRequestHandler(s->d, &connection, true, 0);
        JsonRPC engine;
        engine.setRequestHandler(handler);
        engine.incomingRequest(text);
        // Whatever the methods scheduled for the next turn runs now.
        QCoreApplication::processEvents();
        if (!handler->isLocked()) {
            ++s->unlocked;
        } else {
            const Effects after = effects(s);
            if (after.settings != before.settings) {
                QStringList keys = after.settings.keys() + before.settings.keys();
                keys.removeIf([&](const QString &key) { return after.settings[key] == before.settings[key]; });
                violation(qPrintable(QStringLiteral("the settings (%1)").arg(keys.join(QLatin1Char(' ')))));
            }
            for (const QString &id : before.protectedNetworks) {
                if (!after.protectedNetworks.contains(id))
                    violation("a network's protection");
            }
            // The servers a locked connection could bring are written to the adapter at the next pause or stop.
            if (after.saved != before.saved)
                violation("the servers the adapter gets back");
            if (after.nameServer != before.nameServer)
                violation("the adapter's servers");
            if (after.filtering != before.filtering)
                violation("the filtering switch");
            if (after.user != before.user || after.password != before.password)
                violation("the credentials");
            if (after.selected != before.selected)
                violation("the selected profile");
            for (const QString &operation : std::as_const(s->cabinet->calls)) {
                if (!allowedOperations.contains(operation))
                    violation(qPrintable(QStringLiteral("the account's data (%1)").arg(operation)));
            }
        }
    }
    s->cabinet->releaseRequests();
    QCoreApplication::processEvents();
    return 0;
}
