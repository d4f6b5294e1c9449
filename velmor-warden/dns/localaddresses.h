#ifndef VELMOR_DNS_LOCALADDRESSES_H
#define VELMOR_DNS_LOCALADDRESSES_H

#include <QHostAddress>
#include <QList>

namespace Velmor {
namespace DNS {

// This computer's own addresses, to tell local programs from other hosts. The list is read again when an
// unknown address is asked about, at most once a second, so a new address is known soon after it appears.
class LocalAddresses
{
public:
    bool contains(const QHostAddress &address);

private:
    QList<QHostAddress> m_addresses;
    qint64 m_readAt = 0;
    bool m_read = false;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_LOCALADDRESSES_H
