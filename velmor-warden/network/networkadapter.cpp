#include "networkadapter.h"

namespace Velmor {
namespace Private {

NetworkAdapter::NetworkAdapter(
    const Platform::IpHelper::AdapterAddresses *record, QChar separator, const ServerState *server)
    : NetworkInterface(
        separator, server, QString::fromLatin1(record->adapterName), QString::fromUtf16(record->friendlyName))
{
    for (const Platform::IpHelper::SocketAddressEntry *entry = record->firstUnicastAddress; entry;
         entry = entry->next) {
        const QHostAddress address(entry->address);
        if (!address.isNull())
            m_addresses.append(address);
    }
}

NetworkAdapter::~NetworkAdapter() = default;

} // namespace Private
} // namespace Velmor
