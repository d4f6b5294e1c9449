#ifndef VELMOR_TESTS_SIMULATEDMACHINE_H
#define VELMOR_TESTS_SIMULATEDMACHINE_H

#include "scratchroot.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The machine the IP Helper stand-in reads, for the suites of the platform and of what sits on it.
namespace PlatformTest {

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

// A fresh machine root for one test, with its adapters, routes and interface keys as the test writes them.
class SimulatedMachine : public TestSupport::ScratchRoot
{
public:
    SimulatedMachine() = default;
    Q_DISABLE_COPY(SimulatedMachine)

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
};

} // namespace PlatformTest

#endif // VELMOR_TESTS_SIMULATEDMACHINE_H
