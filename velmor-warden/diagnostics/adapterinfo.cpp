#include "adapterinfo.h"

#include "platform/winerror.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdlib>
#include <iterator>
#include <memory>

using namespace Velmor::Platform;

namespace {

const quint32 initialBufferSize = 15000;
const int maximumCalls = 10;
// GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_INCLUDE_PREFIX
const quint32 listFlags = 0x16;

struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};

QList<QHostAddress> addressesOf(const IpHelper::SocketAddressEntry *entry)
{
    QList<QHostAddress> addresses;
    for (; entry; entry = entry->next)
        addresses.append(QHostAddress(sockaddrToString(entry->address, entry->addressLength)));
    return addresses;
}

} // namespace

AdapterInfo::AdapterInfo(const IpHelper::AdapterAddresses *entry)
    : adapterName(QString::fromLatin1(entry->adapterName))
    , friendlyName(QString::fromUtf16(entry->friendlyName))
    , unicastAddresses(addressesOf(entry->firstUnicastAddress))
    , dnsServers(addressesOf(entry->firstDnsServerAddress))
    , flags(int(entry->flags))
    , ifType(int(entry->ifType))
    , up(entry->operStatus == IpHelper::StatusUp)
{ }

QList<AdapterInfo> enabledAdapters()
{
    return enabledAdapters(IpHelper::getAdaptersAddresses);
}

QList<AdapterInfo> enabledAdapters(const AdapterListSource &source)
{
    QList<AdapterInfo> adapters;
    quint32 size = initialBufferSize;
    for (int call = 0; call < maximumCalls; ++call) {
        std::unique_ptr<void, FreeDeleter> buffer(std::malloc(size));
        if (!buffer) {
            qDebug("Memory allocation failed for IP_ADAPTER_ADDRESSES struct");
            return adapters;
        }
        auto *list = static_cast<IpHelper::AdapterAddresses *>(buffer.get());
        quint32 needed = size;
        const quint32 status = source(IpHelper::FamilyUnspecified, listFlags, list, &needed);
        if (status == ErrorBufferOverflow) {
            // The list may grow between two calls: ask for twice what it needed a moment ago.
            size = needed > 0x7fffffffu ? 0xffffffffu : needed * 2;
            continue;
        }
        if (status != ErrorSuccess)
            return adapters;
        for (const IpHelper::AdapterAddresses *entry = list; entry; entry = entry->next) {
            if (entry->operStatus == IpHelper::StatusUp && entry->ifType != IpHelper::TypeSoftwareLoopback)
                adapters.append(AdapterInfo(entry));
        }
        return adapters;
    }
    return adapters;
}

QString sockaddrToString(const sockaddr *address, qint32 length)
{
    char text[1024] = {};
    if (!address)
        return QString();
    if (address->sa_family == AF_INET && length >= qint32(sizeof(sockaddr_in))) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(address);
        if (!::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
            return QString();
        return QString::fromLatin1(text);
    }
    if (address->sa_family == AF_INET6 && length >= qint32(sizeof(sockaddr_in6))) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(address);
        if (!::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text))
            return QString();
        QString result = QString::fromLatin1(text);
        if (in6->sin6_scope_id != 0)
            result += QLatin1Char('%') + QString::number(in6->sin6_scope_id);
        return result;
    }
    return QString();
}

QString ifTypeName(const AdapterInfo &adapter)
{
    switch (adapter.ifType) {
    case 1:
        return QStringLiteral("OTHER_TYPE");
    case 6:
        return QStringLiteral("ETHERNET_CSMACD");
    case 9:
        return QStringLiteral("ISO88025_TOKENRING");
    case 23:
        return QStringLiteral("IF_TYPE_PPP");
    case 24:
        return QStringLiteral("SOFTWARE_LOOPBACK");
    case 37:
        return QStringLiteral("ATM");
    case 71:
        return QStringLiteral("IEEE80211");
    case 131:
        return QStringLiteral("TUNNEL");
    case 144:
        return QStringLiteral("IEEE1394");
    default:
        return QString();
    }
}

QString adapterFlagNames(const AdapterInfo &adapter)
{
    static const char *const names[] = {
        "IP_ADAPTER_DDNS_ENABLED",
        "IP_ADAPTER_REGISTER_ADAPTER_SUFFIX",
        "IP_ADAPTER_DHCP_ENABLED",
        "IP_ADAPTER_RECEIVE_ONLY",
        "IP_ADAPTER_NO_MULTICAST",
        "IP_ADAPTER_IPV6_OTHER_STATEFUL_CONFIG",
        "IP_ADAPTER_NETBIOS_OVER_TCPIP_ENABLED",
        "IP_ADAPTER_IPV4_ENABLED",
        "IP_ADAPTER_IPV6_ENABLED",
        "IP_ADAPTER_IPV6_MANAGE_ADDRESS_CONFIG",
    };
    QString text;
    for (int bit = 0; bit < int(std::size(names)); ++bit) {
        if (adapter.flags & (1 << bit))
            text += QLatin1String(names[bit]);
    }
    return text;
}
