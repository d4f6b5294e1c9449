#include "servertest.h"

#include <QCoreApplication>
#include <QSettings>

using namespace Velmor;

namespace WardenTest {

ServerFixture::ServerFixture(bool tokens)
{
    machine.writeMachine(
        { NetworkTest::Adapter { adapter, QStringLiteral("Ethernet"), 6, { QStringLiteral("192.168.1.20") } } });
    machine.setValue(adapter, QStringLiteral("NameServer"), QStringLiteral("10.0.0.1"));
    ipcPort = freePort();
    proxyPort = freePort();
    qputenv("VELMOR_IPC_PORT", QByteArray::number(ipcPort));
    setSetting(QStringLiteral("localproxy-addr"), QStringLiteral("127.0.0.1:%1").arg(proxyPort));
    setSetting(QStringLiteral("vyrproxy-addr"), QStringLiteral("127.0.0.2:5353"));
    setSetting(QStringLiteral("httpd-port"), 0);
    setSetting(QStringLiteral("tokens-enabled"), tokens);
    setSetting(QStringLiteral("settings-protected"), false);
    setSetting(QStringLiteral("protected-networks"), QStringList { adapter });
    cabinet = new ScriptedCabinet;
    server = std::make_unique<Server>(cabinet, nullptr);
    d = ServerPrivate::get(server.get());
    identification = d->identification;
    // The account client's first turn (selection, refreshes, and without stored credentials error 30) is over
    // before a test sets the account up.
    QCoreApplication::processEvents();
    cabinet->setHeldCredentials(QStringLiteral("user@example.com"), QStringLiteral("secret-password"));
    cabinet->clearError();
    cabinet->calls.clear();
}

ServerFixture::~ServerFixture()
{
    server.reset();
    qunsetenv("VELMOR_IPC_PORT");
}

void ServerFixture::setSetting(const QString &key, const QVariant &value)
{
    QSettings settings;
    settings.setValue(key, value);
    settings.sync();
}

QVariant ServerFixture::setting(const QString &key)
{
    QSettings settings;
    return settings.value(key);
}

QString ServerFixture::nameServer()
{
    return machine.value(adapter, QStringLiteral("NameServer"));
}

void ServerFixture::makeReady()
{
    cabinet->holdProfiles(2, { 1, 2 });
    cabinet->selectProfile(1);
    cabinet->setIp(QHostAddress(QStringLiteral("203.0.113.7")));
}

} // namespace WardenTest
