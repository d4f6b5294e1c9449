#ifndef VELMOR_PEERUSER_H
#define VELMOR_PEERUSER_H

#include <QHostAddress>

namespace Velmor {

// The user who owns the other end of a TCP connection on this computer, found in the kernel's table of IPv4
// sockets (/proc/net/tcp) as the socket from peer to local; -1 when there is none, as for a peer already gone.
qint64 loopbackPeerUser(const QHostAddress &peer, quint16 peerPort, const QHostAddress &local, quint16 localPort);

} // namespace Velmor

#endif // VELMOR_PEERUSER_H
