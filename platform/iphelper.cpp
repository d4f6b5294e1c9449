#include "iphelper.h"

#include "machinenetwork.h"
#include "registry.h"
#include "winerror.h"

#include <QRegularExpression>

#include <cstring>

namespace Velmor {
namespace Platform {
namespace IpHelper {

namespace {

quint32 finish(quint32 status)
{
    setLastError(WinError(status));
    return status;
}

constexpr quint32 align8(size_t n)
{
    return quint32((n + 7) & ~size_t(7));
}

struct Address
{
    sockaddr_storage storage;
    qint32 length = 0;
};

// One adapter as it goes into the caller's buffer.
struct Entry
{
    const MachineAdapter *adapter = nullptr;
    QByteArray name;
    std::u16string friendlyName;
    QList<Address> unicast;
    QList<Address> dnsServers;
    quint32 flags = 0;

    quint32 bytes() const
    {
        return align8(sizeof(AdapterAddresses))
            + quint32(unicast.size() + dnsServers.size()) * align8(sizeof(SocketAddressEntry))
            + align8(size_t(name.size()) + 1) + align8((friendlyName.size() + 1) * sizeof(char16_t));
    }
};

bool wanted(quint32 family, const Address &address)
{
    return family == FamilyUnspecified || address.storage.ss_family == AF_INET;
}

QList<Address> addressesOf(const QStringList &texts, quint32 family)
{
    QList<Address> addresses;
    for (const QString &text : texts) {
        Address address;
        if (parseSocketAddress(text, &address.storage, &address.length) && wanted(family, address))
            addresses.append(address);
    }
    return addresses;
}

QString stringValue(const QString &key, const char *name)
{
    Registry::Value value;
    if (Registry::queryValue(key, QLatin1String(name), &value) != ErrorSuccess)
        return QString();
    return value.type == Registry::MultiString ? value.texts.join(QLatin1Char(' ')) : value.text;
}

// The servers in force: those set on the interface, else those DHCP gave it.
QList<Address> dnsServersOf(const QString &adapterId, quint32 family)
{
    const QString key = interfaceKey(adapterId);
    const QList<Address> own = addressesOf(splitServerList(stringValue(key, "NameServer")), family);
    return own.isEmpty() ? addressesOf(splitServerList(stringValue(key, "DhcpNameServer")), family) : own;
}

Entry entryOf(const MachineAdapter &adapter, quint32 family)
{
    Entry entry;
    entry.adapter = &adapter;
    entry.name = adapter.id.toLatin1();
    entry.friendlyName = adapter.name.toStdU16String();
    const QList<Address> all = addressesOf(adapter.addresses, FamilyUnspecified);
    for (const Address &address : all) {
        entry.flags |= address.storage.ss_family == AF_INET ? FlagIPv4Enabled : FlagIPv6Enabled;
        if (wanted(family, address))
            entry.unicast.append(address);
    }
    entry.dnsServers = dnsServersOf(adapter.id, family);
    return entry;
}

// Lays a chain of addresses out at cursor; returns its head.
SocketAddressEntry *placeChain(const QList<Address> &addresses, char *&cursor)
{
    SocketAddressEntry *head = nullptr;
    SocketAddressEntry **link = &head;
    for (const Address &address : addresses) {
        auto *item = new (cursor) SocketAddressEntry;
        cursor += align8(sizeof(SocketAddressEntry));
        item->next = nullptr;
        item->storage = address.storage;
        item->address = reinterpret_cast<sockaddr *>(&item->storage);
        item->addressLength = address.length;
        *link = item;
        link = &item->next;
    }
    return head;
}

AdapterAddresses *place(const Entry &entry, char *&cursor)
{
    char *start = cursor;
    auto *record = new (cursor) AdapterAddresses;
    cursor += align8(sizeof(AdapterAddresses));
    record->next = nullptr;
    record->length = quint32(sizeof(AdapterAddresses));
    record->ifIndex = entry.adapter->index;
    record->flags = entry.flags;
    record->ifType = entry.adapter->type;
    record->operStatus = entry.adapter->up ? StatusUp : StatusDown;
    record->firstUnicastAddress = placeChain(entry.unicast, cursor);
    record->firstDnsServerAddress = placeChain(entry.dnsServers, cursor);
    record->adapterName = cursor;
    std::memcpy(cursor, entry.name.constData(), size_t(entry.name.size()) + 1);
    cursor += align8(size_t(entry.name.size()) + 1);
    record->friendlyName = reinterpret_cast<char16_t *>(cursor);
    std::memcpy(cursor, entry.friendlyName.c_str(), (entry.friendlyName.size() + 1) * sizeof(char16_t));
    cursor += align8((entry.friendlyName.size() + 1) * sizeof(char16_t));
    Q_ASSERT(cursor - start == qptrdiff(entry.bytes()));
    Q_UNUSED(start);
    return record;
}

} // namespace

quint32 getAdaptersAddresses(quint32 family, quint32 flags, AdapterAddresses *buffer, quint32 *size)
{
    // No anycast, multicast or prefix chains are kept, so the flags that skip or add them change nothing.
    Q_UNUSED(flags);
    if (!size || (family != FamilyUnspecified && family != FamilyIPv4))
        return finish(ErrorInvalidParameter);
    MachineNetwork machine;
    const quint32 status = loadMachineNetworkFor(QStringLiteral("GetAdaptersAddresses"), &machine);
    if (status != ErrorSuccess)
        return finish(status);

    QList<Entry> entries;
    quint64 needed = 0;
    for (const MachineAdapter &adapter : std::as_const(machine.adapters)) {
        if (family == FamilyIPv4 && adapter.type == TypeSoftwareLoopback)
            continue;
        if (adapter.type != TypeSoftwareLoopback)
            ensureInterfaceKey(adapter.id, QString(), QStringList());
        entries.append(entryOf(adapter, family));
        needed += entries.last().bytes();
    }
    if (entries.isEmpty())
        return finish(ErrorNoData);
    if (needed > 0xffffffffu)
        return finish(ErrorNotEnoughMemory);
    if (!buffer || *size < needed) {
        *size = quint32(needed);
        return finish(ErrorBufferOverflow);
    }
    char *cursor = reinterpret_cast<char *>(buffer);
    AdapterAddresses **link = nullptr;
    for (const Entry &entry : std::as_const(entries)) {
        AdapterAddresses *record = place(entry, cursor);
        if (link)
            *link = record;
        link = &record->next;
    }
    return finish(ErrorSuccess);
}

quint32 getIpForwardTable(ForwardTable *table, quint32 *size)
{
    if (!size)
        return finish(ErrorInvalidParameter);
    MachineNetwork machine;
    const quint32 status = loadMachineNetworkFor(QStringLiteral("GetIpForwardTable"), &machine);
    if (status != ErrorSuccess)
        return finish(status);
    const quint32 needed = forwardTableSize(quint32(machine.routes.size()));
    if (!table || *size < needed) {
        *size = needed;
        return finish(ErrorInsufficientBuffer);
    }
    table->numEntries = quint32(machine.routes.size());
    ForwardRow *rows = table->table;
    for (const MachineRoute &route : std::as_const(machine.routes))
        *rows++ = ForwardRow { route.destination, route.mask, route.nextHop, route.index, route.metric };
    return finish(ErrorSuccess);
}

QString interfaceKey(const QString &adapterId)
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\Tcpip\\Parameters\\Interfaces\\")
        + adapterId;
}

QStringList splitServerList(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

} // namespace IpHelper
} // namespace Platform
} // namespace Velmor
