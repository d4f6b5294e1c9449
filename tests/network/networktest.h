#ifndef VELMOR_TESTS_NETWORKTEST_H
#define VELMOR_TESTS_NETWORKTEST_H

#include "base/serverstate.h"

#include "scratchroot.h"

#include <QHostAddress>
#include <QList>
#include <QSettings>
#include <QStringList>

#include <memory>

// Shared by the network configuration suites: a scripted server and a simulated machine of their own.
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

struct Adapter
{
    QString id;
    QString name;
    quint32 type = 6;
    QStringList addresses;
    quint32 index = 0; // 0: its position in the list, from 1
    bool up = true;
};

struct Route
{
    QString destination;
    QString nextHop;
    quint32 index;
    int metric;
};

// An adapter id as the IP Helper gives it.
QString adapterId(int n);

// Ethernet adapters 1 to count, each with an address of its own.
QList<Adapter> ethernetAdapters(int count);

// A fresh VELMOR_ROOT with the service's settings in it, for one test function. The destructor waits for the
// DNS client restarts the test asked for before the root goes.
class Machine
{
public:
    Machine();
    ~Machine();
    Q_DISABLE_COPY(Machine)

    bool isValid() const { return m_root.isValid(); }
    QString path(const QString &relative = QString()) const;

    // Replaces machine.json as a whole (write, then rename): an address change.
    void writeMachine(
        const QList<Adapter> &adapters, const QList<Route> &routes = {}, const QVariantMap &failures = QVariantMap());
    void writeMachineText(const QByteArray &text);

    // The interface key's values; the key is created when missing.
    void setValue(const QString &id, const QString &name, const QString &text);
    void setGateways(const QString &id, const QString &name, const QStringList &gateways);
    QString value(const QString &id, const QString &name) const;
    bool hasValue(const QString &id, const QString &name) const;
    void refuseWrites(const QString &id, quint32 status);
    // Makes the key's file unreadable as a key.
    void corruptKey(const QString &id);

    // The service's settings, and the group of one interface ("" when it has none).
    QSettings &settings() { return *m_settings; }
    QString groupOf(const QString &id);
    QVariant interfaceSetting(const QString &id, const QString &key);

    // Entries of the DNS client stand-in's history, "start" and "stop".
    QStringList dnsClientHistory() const;

private:
    TestSupport::ScratchRoot m_root;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace NetworkTest

#endif // VELMOR_TESTS_NETWORKTEST_H
