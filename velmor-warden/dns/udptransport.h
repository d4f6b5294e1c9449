#ifndef VELMOR_DNS_UDPTRANSPORT_H
#define VELMOR_DNS_UDPTRANSPORT_H

#include "transport.h"

#include <QPointer>
#include <QUdpSocket>

namespace Velmor {
namespace DNS {

// One UDP peer; every message goes out as one datagram.
class UdpTransport : public Transport
{
    Q_OBJECT

public:
    explicit UdpTransport(QObject *parent = nullptr);

    void release() override;
    bool write(Velmor::DNS::Packet &message) override;
    QHostAddress peerAddress() const override { return m_address; }
    quint16 peerPort() const override { return m_port; }

protected:
    QHostAddress m_address;
    quint16 m_port = 0;
    // Guarded: the proxy's socket may go before the request that answers through it.
    QPointer<QUdpSocket> m_socket;
};

// One datagram of the proxy's socket; the answer goes back to its sender through the same socket.
class UdpServerTransport : public UdpTransport
{
    Q_OBJECT

public:
    // Reads one pending datagram of proxySocket, which stays the proxy's.
    UdpServerTransport(QUdpSocket *proxySocket, QObject *parent = nullptr);
};

// One upstream query over a socket of its own, connected to the server, so that only the server's replies reach it.
class UdpClientTransport : public UdpTransport
{
    Q_OBJECT

public:
    UdpClientTransport(const QHostAddress &address, quint16 port, QObject *parent = nullptr);

    // Gives the message a fresh random ID, opens the socket on first use and sends.
    bool write(Velmor::DNS::Packet &message) override;

private Q_SLOTS:
    void socket_readyRead();
};

// Asks the system for a 128 KiB receive buffer, so bursts of client datagrams are not dropped.
void setReceiveBufferSize(QAbstractSocket *socket);

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_UDPTRANSPORT_H
