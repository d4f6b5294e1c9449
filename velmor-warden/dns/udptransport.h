#ifndef VELMOR_DNS_UDPTRANSPORT_H
#define VELMOR_DNS_UDPTRANSPORT_H

#include "transport.h"
#include "udpsocketpool.h"

#include <QPointer>

namespace Velmor {
namespace DNS {

// One upstream query's path over the shared sockets of its server: the pool gives the message its ID and hands
// back only the datagrams that carry it, from the server's address and port.
class UdpClientTransport : public Transport, private UdpSocketPool::Waiter
{
    Q_OBJECT

public:
    explicit UdpClientTransport(UdpSocketPool *pool, QObject *parent = nullptr);
    ~UdpClientTransport() override;

    // Stops waiting and deletes the transport later.
    void release() override;
    // Sends the message with a fresh random ID; a message written before waits no longer.
    bool write(Velmor::DNS::Packet &message) override;
    QHostAddress peerAddress() const override;
    quint16 peerPort() const override;

protected:
    // A server's questionless error answers the query as well.
    bool isAcceptable(const Velmor::DNS::Packet &message) const override;

private:
    bool offer(Velmor::DNS::Packet &message) override;

    QPointer<UdpSocketPool> m_pool;
    UdpSocketPool::Ticket m_ticket;
};

// Asks the system for a 128 KiB receive buffer, so bursts of client datagrams are not dropped.
void setReceiveBufferSize(QAbstractSocket *socket);

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_UDPTRANSPORT_H
