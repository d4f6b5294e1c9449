#ifndef VELMOR_DNS_UDPFORWARDER_H
#define VELMOR_DNS_UDPFORWARDER_H

#include "packet.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <list>

class QUdpSocket;

namespace Velmor {
namespace DNS {

class UdpSocketPool;

// The requests of the proxy's UDP clients. Each one is answered at once with an error code, or sent upstream through
// the server's pooled sockets, where it waits as a plain record rather than as objects of its own: at thousands of
// requests a second their making, signals and deferred deletion would cost more than the forwarding. The response
// goes back through the proxy's socket under the client's ID; a request that gets none within the UDP deadline
// is answered SERVFAIL.
class UdpForwarder : public QObject
{
    Q_OBJECT

public:
    // Answers go out through socket, the proxy's.
    explicit UdpForwarder(QUdpSocket *socket, QObject *parent = nullptr);
    ~UdpForwarder() override;

    // Reads the next datagram of the proxy's socket; false when none is left. destination is the address the
    // datagram was sent to when the socket listens on an any-address, else null.
    bool receive(
        Velmor::DNS::Packet *datagram, QHostAddress *sender, quint16 *port, QHostAddress *destination = nullptr);
    // Handles a well-formed request of the client at address and port as the proxy does (DNSProxyRequest::prepare)
    // and, unless it is answered at once, sends it to the pool's server. Its answer leaves from destination unless
    // that is null.
    void forward(const QHostAddress &address, quint16 port, Velmor::DNS::Packet request, quint32 token,
        UdpSocketPool *pool, bool upstreamIsSelf, const QHostAddress &destination = QHostAddress());
    // Requests waiting for their response.
    int pendingCount() const { return int(m_pending.size()); }

public Q_SLOTS:
    // Answers SERVFAIL to the requests whose deadline has passed.
    void expire();

private:
    struct Pending;

    bool offered(Pending &pending, Velmor::DNS::Packet &message);
    void answer(const QHostAddress &address, quint16 port, const QHostAddress &from, const QByteArray &bytes);
    void arm();

    // Guarded: the proxy's socket may go before the requests that answer through it.
    QPointer<QUdpSocket> m_socket;
    // In the order sent, which is the order of their deadlines: they all wait equally long.
    std::list<Pending> m_pending;
    QTimer m_timer;
    QByteArray m_buffer;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_UDPFORWARDER_H
