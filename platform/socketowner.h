#ifndef VELMOR_PLATFORM_SOCKETOWNER_H
#define VELMOR_PLATFORM_SOCKETOWNER_H

#include <QHostAddress>

namespace Velmor {
namespace Platform {

// The user that owns the local IPv4 TCP socket bound at address:port and connected to peer:peerPort, as the
// kernel's TCP table (/proc/net/tcp) names it; -1 when no such socket is found, as for a peer already gone. For a
// connection accepted from a local program, pass the peer's end as address:port and the accepted socket's own end
// as peer:peerPort: the result is the user of the program on the other end.
qint64 tcpSocketOwner(const QHostAddress &address, quint16 port, const QHostAddress &peer, quint16 peerPort);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SOCKETOWNER_H
