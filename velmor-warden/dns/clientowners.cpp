#include "clientowners.h"

#include "dnsclock.h"

#include "platform/socketowner.h"

#include <cstring>

namespace Velmor {
namespace DNS {

qint64 ClientOwners::owner(const QHostAddress &address, quint16 port, const QHostAddress &server, quint16 serverPort)
{
    Key key;
    // IPv4 as its mapped IPv6 form: one key for both.
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(key.address.data(), &bytes, key.address.size());
    key.port = port;
    const qint64 time = now();
    while (!m_order.empty()) {
        const auto oldest = m_owners.constFind(m_order.front());
        if (oldest != m_owners.constEnd() && oldest->expires > time && int(m_owners.size()) < Capacity)
            break;
        if (oldest != m_owners.constEnd())
            m_owners.erase(oldest);
        m_order.pop_front();
    }
    const auto found = m_owners.constFind(key);
    if (found != m_owners.constEnd())
        return found->owner;
    const qint64 owner = Platform::udpSocketOwner(address, port, server, serverPort);
    m_owners.insert(key, Entry { owner, time + Lifetime });
    m_order.push_back(key);
    return owner;
}

} // namespace DNS
} // namespace Velmor
