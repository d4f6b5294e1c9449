#ifndef VELMOR_PLATFORM_IPHELPER_H
#define VELMOR_PLATFORM_IPHELPER_H

#include "kernelevent.h"

#include <QString>
#include <QStringList>

#include <sys/socket.h>

namespace Velmor {
namespace Platform {

// The IP Helper of the simulated machine: adapters and IPv4 routes from <root>/machine.json, for example
//   {"adapters":[{"id":"{GUID}","index":7,"name":"Ethernet","type":6,"up":true,"addresses":["192.168.1.20"]}],
//    "routes":[{"destination":"0.0.0.0","mask":"0.0.0.0","nextHop":"192.168.1.1","index":7,"metric":25}],
//    "failures":{"GetAdaptersAddresses":232}}
// An adapter's DNS servers and gateways live in its interface key (interfaceKey()), which the adapter list creates
// when it is missing. "failures" makes every call of that name fail with its status; a file that cannot be read
// as such gives ErrorInvalidData. A missing file is seeded from this computer's interfaces and routes.
// Replacing the file, or closing it after writing, is an address change. Every call is thread-safe, returns a
// Windows status (winerror.h) and leaves it as the calling thread's last error.
namespace IpHelper {

enum AddressFamily : quint32 { FamilyUnspecified = 0, FamilyIPv4 = 2 };

enum InterfaceType : quint32 {
    TypeOther = 1,
    TypeEthernet = 6,
    TypePpp = 23,
    TypeSoftwareLoopback = 24,
    TypeWireless = 71,
    TypeTunnel = 131,
};

enum OperStatus : quint32 { StatusUp = 1, StatusDown = 2 };

enum AdapterFlag : quint32 { FlagIPv4Enabled = 0x80, FlagIPv6Enabled = 0x100 };

// One address of a chain; address points at storage, which has room for any family.
struct SocketAddressEntry
{
    SocketAddressEntry *next;
    sockaddr *address;
    qint32 addressLength;
    sockaddr_storage storage;
};

// One adapter of the list the caller's buffer receives; every pointer points into that buffer.
struct AdapterAddresses
{
    AdapterAddresses *next;
    quint32 length; // of this record
    quint32 ifIndex;
    char *adapterName; // the interface GUID in braces, ASCII
    SocketAddressEntry *firstUnicastAddress;
    SocketAddressEntry *firstDnsServerAddress; // the interface key's servers in force
    char16_t *friendlyName;
    quint32 flags; // AdapterFlag bits
    quint32 ifType; // InterfaceType
    quint32 operStatus; // OperStatus
};

// Lists the adapters into buffer, which holds *size bytes. When it is too small (or null) the call answers
// ErrorBufferOverflow and sets *size to the bytes needed. FamilyIPv4 leaves out IPv6 addresses and loopback
// adapters; FamilyUnspecified lists everything. ErrorNoData when no adapter is listed. No anycast, multicast or
// prefix chains are kept, so flags change nothing.
quint32 getAdaptersAddresses(quint32 family, quint32 flags, AdapterAddresses *buffer, quint32 *size);

// One IPv4 route; addresses in network byte order.
struct ForwardRow
{
    quint32 destination;
    quint32 mask;
    quint32 nextHop;
    quint32 ifIndex;
    qint32 metric;
};

struct ForwardTable
{
    quint32 numEntries;
    ForwardRow table[1]; // numEntries rows
};

// The bytes a table of count rows takes.
constexpr quint32 forwardTableSize(quint32 count)
{
    return quint32(offsetof(ForwardTable, table) + sizeof(ForwardRow) * count);
}

// Reads the route table in file order. ErrorInsufficientBuffer with *size set to the bytes needed when the buffer
// is too small (or null); ErrorInvalidParameter for a null size.
quint32 getIpForwardTable(ForwardTable *table, quint32 *size);

// The request record of an address-change notification: event is set once at the next change.
struct Overlapped
{
    Handle event = InvalidHandle;
};

// Registers a one-shot request: overlapped->event is set at the next address change after this call. Answers
// ErrorIoPending (also as the last error) when the request is open; registering an open request again keeps one.
// Without an overlapped record the call would block, which this machine does not do: ErrorNotSupported.
quint32 notifyAddrChange(Handle *handle, Overlapped *overlapped);

// Withdraws an open request; false when none was open.
bool cancelIPChangeNotify(Overlapped *overlapped);

// The registry key of an adapter's TCP/IP parameters, where its DNS servers and gateways are kept.
QString interfaceKey(const QString &adapterId);

// The addresses of a server list value, which separates them with commas or blanks alike: empty parts are dropped,
// malformed ones are kept for the caller to judge.
QStringList splitServerList(const QString &text);

} // namespace IpHelper
} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_IPHELPER_H
