#ifndef VELMOR_DNS_SERVERSMANAGER_H
#define VELMOR_DNS_SERVERSMANAGER_H

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPair>
#include <QRandomGenerator>

namespace Velmor {
namespace DNS {

class Transport;
class TcpClientTransport;
class TcpTransportManager;
class UdpSocketPool;

// Hands each upstream query its transport: a UDP one per query over the server's pooled sockets, or the one pooled
// TCP connection per server.
class ServersManager : public QObject
{
    Q_OBJECT

public:
    static ServersManager *instance();
    ~ServersManager() override;

    // A message ID that a sender elsewhere cannot predict.
    quint16 nextQueryId();
    // A new UDP transport, or the server's pooled TCP connection with one more user.
    Velmor::DNS::Transport *transport(const QHostAddress &address, quint16 port, bool udp);
    // The server's UDP sockets, made on first use.
    Velmor::DNS::UdpSocketPool *udpPool(const QHostAddress &address, quint16 port);
    void releaseTransport(QObject *transport);
    // Closes every pooled connection.
    void dropTcpTransports();

    Velmor::DNS::TcpTransportManager *tcpManager() const { return m_tcpManager; }
    int tcpTransportCount() const { return int(m_tcpTransports.size()); }

private Q_SLOTS:
    void tcpTransportDisconnected();
    void tcpTransportDestroyed(QObject *transport);

private:
    using Server = QPair<QHostAddress, quint16>;

    explicit ServersManager(QObject *parent);
    void forget(QObject *transport);

    static ServersManager *s_instance;
    QRandomGenerator m_idGenerator;
    Velmor::DNS::TcpTransportManager *m_tcpManager;
    QHash<Server, Velmor::DNS::TcpClientTransport *> m_tcpTransports;
    QHash<Server, Velmor::DNS::UdpSocketPool *> m_udpPools;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_SERVERSMANAGER_H
