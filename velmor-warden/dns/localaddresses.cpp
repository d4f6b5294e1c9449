#include "localaddresses.h"

#include "dnsclock.h"

#include <QNetworkInterface>

namespace Velmor {
namespace DNS {

bool LocalAddresses::contains(const QHostAddress &address)
{
    if (address.isLoopback())
        return true;
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    const QHostAddress plain = mapped ? QHostAddress(v4) : address;
    if (m_addresses.contains(plain))
        return true;
    const qint64 time = now();
    if (m_read && time - m_readAt < 1000)
        return false;
    m_read = true;
    m_readAt = time;
    m_addresses = QNetworkInterface::allAddresses();
    return m_addresses.contains(plain);
}

} // namespace DNS
} // namespace Velmor
