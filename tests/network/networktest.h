#ifndef VELMOR_TESTS_NETWORKTEST_H
#define VELMOR_TESTS_NETWORKTEST_H

#include "base/serverstate.h"

#include "simulatedmachine.h"

#include <QHostAddress>
#include <QList>
#include <QSettings>
#include <QStringList>

#include <memory>

// Shared by the network configuration suites: a scripted server and a simulated machine of their own, whose
// adapters and interface keys they name as the platform's suites do.
namespace NetworkTest {

// The server's accessors as the server computes them, from fields a test sets.
class ScriptedServer : public Velmor::ServerState
{
    Q_OBJECT
public:
    QHostAddress local = QHostAddress(QHostAddress::AnyIPv4); // as configured, the any-address included
    QHostAddress upstream = QHostAddress(QStringLiteral("198.51.100.53"));
    int type = 1; // 1 token, 0 IP
    bool identified = true;
    bool filtering = true;

    QHostAddress activeProxyAddress() const override;
    QHostAddress localDnsProxyAddress(bool raw = false) const override;
    quint16 localDnsProxyPort() const override { return 53; }
    const QHostAddress &upstreamProxyAddress() const override { return upstream; }
    quint16 upstreamProxyPort() const override { return 53; }
    int identificationType() const override { return type; }
    bool useLocalDnsProxy() const override { return identified && filtering && type == 1; }
    bool isIdentified() const override { return identified; }
    bool isGlobalFilteringEnabled() const override { return filtering; }
    quint32 profileToken() const override { return 0; }

    void notify() { Q_EMIT activeProxyChanged(); }
};

using PlatformTest::Adapter;
using PlatformTest::adapterId;
using PlatformTest::ethernetAdapters;
using PlatformTest::Route;

// The simulated machine with the service's settings in it, for one test function. The destructor waits for the
// DNS client restarts the test asked for before the root goes.
class Machine : public PlatformTest::SimulatedMachine
{
public:
    Machine();
    ~Machine();
    Q_DISABLE_COPY(Machine)

    // The service's settings, and the group of one interface ("" when it has none).
    QSettings &settings() { return *m_settings; }
    QString groupOf(const QString &id);
    QVariant interfaceSetting(const QString &id, const QString &key);

    // Entries of the DNS client stand-in's history, "start" and "stop".
    QStringList dnsClientHistory() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace NetworkTest

#endif // VELMOR_TESTS_NETWORKTEST_H
