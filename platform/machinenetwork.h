#ifndef VELMOR_PLATFORM_MACHINENETWORK_H
#define VELMOR_PLATFORM_MACHINENETWORK_H

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/socket.h>

namespace Velmor {
namespace Platform {

// The adapters and routes of <root>/machine.json, as the IP Helper stand-in (iphelper.h) serves them.
struct MachineAdapter
{
    QString id;
    quint32 index = 0;
    QString name;
    quint32 type = 0;
    bool up = true;
    QStringList addresses; // IPv4 and IPv6 texts, each checked by parseSocketAddress
};

struct MachineRoute
{
    quint32 destination = 0; // network byte order
    quint32 mask = 0;
    quint32 nextHop = 0;
    quint32 index = 0;
    qint32 metric = 0;
};

struct MachineNetwork
{
    QList<MachineAdapter> adapters;
    QList<MachineRoute> routes;
    QHash<QString, quint32> failures; // IP Helper call name to the status it fails with
};

QString machineNetworkPath();

// Reads the file, seeding it first when it is missing. ErrorInvalidData for a file that is not of the form above.
quint32 loadMachineNetwork(MachineNetwork *machine);

// As loadMachineNetwork, then the failure the file gives the IP Helper call of that name, if any.
quint32 loadMachineNetworkFor(const QString &call, MachineNetwork *machine);

QByteArray formatMachineNetwork(const MachineNetwork &machine);

// Writes the file from this computer's interfaces and IPv4 routes, and fills the interface keys of the adapters it
// lists, unless a file exists by then.
quint32 seedMachineNetwork();

// Creates a missing interface key with an empty "NameServer" and the given DHCP servers and gateways; an existing key
// is left alone.
void ensureInterfaceKey(const QString &adapterId, const QString &dhcpServers, const QStringList &dhcpGateways);

// A strict IPv4 dotted quad or IPv6 text into a socket address; false for anything else.
bool parseSocketAddress(const QString &text, sockaddr_storage *address, qint32 *length);
// A strict IPv4 dotted quad into network byte order.
bool parseIPv4NetworkOrder(const QString &text, quint32 *address);
QString formatIPv4NetworkOrder(quint32 address);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_MACHINENETWORK_H
