#ifndef VELMOR_TESTS_MACHINEFIXTURE_H
#define VELMOR_TESTS_MACHINEFIXTURE_H

#include "scratchroot.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A simulated machine of its own for one test: VELMOR_ROOT while it lives, its adapters and routes, and the
// DNS servers and gateways of their interface keys.
class MachineFixture : public TestSupport::ScratchRoot
{
public:
    MachineFixture() = default;
    Q_DISABLE_COPY(MachineFixture)

    // These work on the machine of VELMOR_ROOT, whoever set it.
    // machine.json as given.
    static bool setMachine(const QByteArray &json);
    // "NameServer" and "DhcpNameServer" of the adapter's interface key; DHCP's is left out when empty.
    static bool setDnsServers(
        const QString &adapterId, const QString &nameServer, const QString &dhcpNameServer = QString());
    static bool setGateways(const QString &adapterId, const QStringList &gateways);
};

#endif // VELMOR_TESTS_MACHINEFIXTURE_H
