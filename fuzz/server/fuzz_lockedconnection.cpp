// Random requests to the service's real request handler on a locked connection, through the JSON-RPC engine the
// link uses: nothing may crash or leak, and nothing the lock refuses may take effect (the settings, the filtering
// switch, the credentials, the selected profile, operations sent to the account service). The first input byte
// chooses the form: a call or a notification of one of the service's methods with the rest as its parameter text,
// or (high bit set) the rest as the whole request text, batches included. An input that unlocks the connection with
// the account's own password proves nothing and is only counted.
#include "../../tests/warden/scriptedcabinet.h"

#include "core/identification.h"
#include "core/ipcrequesthandler.h"
#include "core/server.h"
#include "core/server_p.h"

#include "platform/iphelper.h"
#include "platform/registry.h"
#include "platform/settingsstore.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/localsocketipcconnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Velmor;

namespace {

const char *const methods[] = { "setSetting", "setLocalDnsAddress", "setNetworkProtection", "registerUser",
    "unlockSettings", "setCredentials", "setTokensEnabled", "setSettingsProtection", "setGlobalFiltering", "setProfile",
    "addProfile", "removeProfile", "systemInfo", "categories", "userFilter", "domains", "clearDomains", "setFilterCat",
    "addDomain", "removeDomain", "schedule", "setScheduleEnabled", "setSchedule", "setWhiteListOnly",
    "setSafeSearchEnabled", "updateProfiles", "updateUserInfo" };

// What a locked connection may start at the account service: reads, refreshes and the password check.
const QStringList allowedOperations { "categories", "userFilter", "domains", "schedule", "profiles", "userInfo",
    "testAuth", "updateIP" };

const QString user = QStringLiteral("owner@example.com");
const QString password = QStringLiteral("q8V!x2#Lm9@zR4&tW7-held");
const QString adapter = QStringLiteral("{6A1F0C2E-0000-4000-8000-000000000001}");

quint16 freePort()
{
    QTcpServer tcp;
    tcp.listen(QHostAddress(QHostAddress::LocalHost), 0);
    return tcp.serverPort();
}

struct Service
{
    QTemporaryDir root;
    std::unique_ptr<QCoreApplication> app;
    WardenTest::ScriptedCabinet *cabinet = nullptr;
    std::unique_ptr<Server> server;
    ServerPrivate *d = nullptr;
    long unlocked = 0;
    long inputs = 0;
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

Service *service()
{
    static Service *instance = [] {
        auto s = new Service;
        qputenv("VELMOR_ROOT", QFile::encodeName(s->root.path()));
        static int argc = 1;
        static char name[] = "fuzz_lockedconnection";
        static char *argv[] = { name, nullptr };
        s->app = std::make_unique<QCoreApplication>(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
        QCoreApplication::setApplicationName(QStringLiteral("Service"));
        Platform::useRootSettings();
        qputenv("VELMOR_IPC_PORT", QByteArray::number(freePort()));
        writeFile(s->root.filePath(QStringLiteral("machine.json")),
            "{\"adapters\":[{\"id\":\"" + adapter.toUtf8()
                + "\",\"index\":1,\"name\":\"Ethernet\",\"type\":6,\"up\":true,"
                  "\"addresses\":[\"192.168.1.20\"]}],\"routes\":[]}");
        Platform::Registry::createKey(Platform::IpHelper::interfaceKey(adapter));
        Platform::Registry::setString(
            Platform::IpHelper::interfaceKey(adapter), QStringLiteral("NameServer"), QStringLiteral("10.0.0.1"));
        {
            QSettings settings;
            settings.setValue(QStringLiteral("localproxy-addr"), QStringLiteral("127.0.0.1:%1").arg(freePort()));
            settings.setValue(QStringLiteral("vyrproxy-addr"), QStringLiteral("127.0.0.2:5353"));
            settings.setValue(QStringLiteral("httpd-port"), 0);
            settings.setValue(QStringLiteral("tokens-enabled"), true);
            settings.setValue(QStringLiteral("settings-protected"), true);
            settings.setValue(QStringLiteral("www"), QStringLiteral("https://127.0.0.1:1"));
            settings.setValue(QStringLiteral("dd-hostname"), QStringLiteral("Kitchen"));
        }
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
};

Effects effects(Service *s)
{
    Effects e;
    QSettings settings;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        // Switching a network's protection on is allowed, with the servers it is to get back.
        if (key.startsWith(QLatin1String("interfaces/")) || key == QLatin1String("protected-networks"))
            continue;
        e.settings.insert(key, settings.value(key));
    }
    e.protectedNetworks = settings.value(QStringLiteral("protected-networks")).toStringList();
    e.filtering = s->server->isGlobalFilteringEnabled();
    e.user = s->cabinet->user();
    e.password = s->cabinet->password();
    e.selected = s->d->selectedProfileId();
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
    s->cabinet->setHeldCredentials(user, password);
    s->cabinet->selectProfile(1);
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
        auto *handler = new IPCRequestHandler(s->d, &connection, true);
        JsonRPC engine;
        engine.setRequestHandler(handler);
        engine.incomingRequest(text);
        // Whatever the methods scheduled for the next turn runs now.
        QCoreApplication::processEvents();
        if (!handler->isLocked()) {
            ++s->unlocked;
        } else {
            const Effects after = effects(s);
            if (after.settings != before.settings)
                violation("the settings");
            for (const QString &id : before.protectedNetworks) {
                if (!after.protectedNetworks.contains(id))
                    violation("a network's protection");
            }
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
