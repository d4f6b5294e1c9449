#ifndef VELMOR_DNS_TCPCLIENTTRANSPORT_H
#define VELMOR_DNS_TCPCLIENTTRANSPORT_H

#include "tcptransport.h"

namespace Velmor {
namespace DNS {

// The pooled connection to one upstream server, shared by every TCP query to it. Messages written before the
// connection is up wait, with their IDs already given, and go out in order once it is.
class TcpClientTransport : public TcpTransport
{
    Q_OBJECT

public:
    TcpClientTransport(const QHostAddress &address, quint16 port, QObject *parent = nullptr);

    // Returns one use to the pool.
    void release() override;
    // Gives the message the connection's next ID, then sends it or queues it until the connection is up.
    bool write(Velmor::DNS::Packet &message) override;

    bool isResendable() const override { return m_connected; }

    QHostAddress serverAddress() const { return m_serverAddress; }
    quint16 serverPort() const { return m_serverPort; }

protected Q_SLOTS:
    void socket_error(QAbstractSocket::SocketError socketError) override;

private Q_SLOTS:
    void socket_connected();

protected:
    // A server's questionless error answers the query as well.
    bool isAcceptable(const Velmor::DNS::Packet &message) const override;
    void messageOffered() override;

private:
    QHostAddress m_serverAddress;
    quint16 m_serverPort;
    quint16 m_nextId;
    QList<Velmor::DNS::Packet> m_pending;
    bool m_failed = false;
    bool m_connected = false;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_TCPCLIENTTRANSPORT_H
