#ifndef VELMOR_PLATFORM_SOCKETOWNER_H
#define VELMOR_PLATFORM_SOCKETOWNER_H

#include <QHostAddress>

namespace Velmor {
namespace Platform {

// The user that owns the local TCP socket bound at address:port and connected to peer:peerPort; -1 when there is no
// such socket or it is no longer connected, as for a peer already gone (the kernel keeps a closing socket a while
// under user 0, who must not be charged for it). For a connection accepted from a local program, pass the peer's end
// as address:port and the accepted socket's own end as peer:peerPort: the result is the user of the program on the
// other end. The kernel looks the one socket up by its address pair, so the cost does not grow with the sockets that
// other users hold.
qint64 tcpSocketOwner(const QHostAddress &address, quint16 port, const QHostAddress &peer, quint16 peerPort);

// The user that owns the local UDP socket that a datagram from peer:peerPort to address:port would reach; -1 when
// none would. For a datagram received from a local program, pass the sender's end as address:port and the address
// it was sent to as peer:peerPort: the result is the user of the program that sent it.
qint64 udpSocketOwner(const QHostAddress &address, quint16 port, const QHostAddress &peer, quint16 peerPort);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SOCKETOWNER_H
