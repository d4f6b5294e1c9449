#ifndef VELMOR_DNS_SOCKETOWNER_H
#define VELMOR_DNS_SOCKETOWNER_H

#include <QHostAddress>

namespace Velmor {
namespace DNS {

// The user that owns the local IPv4 TCP socket bound at address:port and connected to peer:peerPort, as the
// kernel's TCP table names it; -1 when no such socket is found. For a connection accepted from a local program,
// pass the peer's end as address:port and the accepted socket's own end as peer:peerPort.
qint64 tcpSocketOwner(const QHostAddress &address, quint16 port, const QHostAddress &peer, quint16 peerPort);

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_SOCKETOWNER_H
