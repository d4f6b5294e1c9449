#ifndef VELMOR_DNSPROXY_H
#define VELMOR_DNSPROXY_H

#include "clientowners.h"
#include "localaddresses.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QUdpSocket;

namespace Velmor {

class ServerState;

namespace DNS {
class TcpServerTransport;
class TcpTransportManager;
class UdpForwarder;
} // namespace DNS

// The local DNS proxy of identification by token: listens by UDP and TCP on "localproxy-addr" and forwards every
// request of a local program to the filtering resolver with the selected profile's token. Addresses, ports and
// the token are read from the server for every use, so a change reaches the next start or request.
class DNSProxy : public QObject
{
    Q_OBJECT

public:
    // Client connections in all, and of one local user (the owner of the client's socket). Beyond his share a
    // user's new connection is refused; when all are taken, the user who holds the most loses his connection that
    // has been idle longest, or the new one is refused when none of his is idle.
    static constexpr int MaxTcpClients = 256;
    static constexpr int MaxTcpClientsPerUser = 32;
    // Seconds a client connection may stay open with nothing in flight.
    static constexpr int TcpClientIdleLimit = 30;

    // The server is the parent.
    explicit DNSProxy(Velmor::ServerState *server);
    ~DNSProxy() override;

    // Binds UDP, then listens on TCP, at the local proxy address (any-address kept as such) and port. True at once
    // when already listening. On failure errorString() holds the reason, also given as a warning.
    bool start();
    // Closes the sockets, the client connections and the pooled upstream connections. Requests in flight finish
    // on their own; answers due to closed connections are dropped.
    void stop();
    bool isListening() const;
    // The reason of the last failed start; empty after a start that succeeded.
    QString errorString() const { return m_errorString; }

Q_SIGNALS:
    // After a successful start of a stopped proxy, and after a stop of a listening one.
    void stateChanged();

private Q_SLOTS:
    void readServerUdpRequest();
    void newTcpConnection();
    void tcpReadyRead(Velmor::DNS::TcpServerTransport *transport);
    void tcpReadyRead();

private:
    bool isLocalSource(const QHostAddress &address);
    // Closes the connection idle longest of the user who holds the most; false when he has none idle.
    bool closeIdleOfLargestUser();
    bool upstreamIsSelf();

    Velmor::ServerState *m_server;
    QUdpSocket *m_udpSocket;
    Velmor::DNS::UdpForwarder *m_udpForwarder;
    QTcpServer *m_tcpServer;
    Velmor::DNS::TcpTransportManager *m_tcpManager;
    Velmor::DNS::LocalAddresses m_localAddresses;
    Velmor::DNS::ClientOwners m_clientOwners;
    QHostAddress m_address;
    quint16 m_port = 0;
    // The open client connections and their users.
    QHash<Velmor::DNS::TcpServerTransport *, qint64> m_tcpOwners;
    QHash<qint64, int> m_tcpClientsOfUser;
    QString m_errorString;
};

} // namespace Velmor

#endif // VELMOR_DNSPROXY_H
