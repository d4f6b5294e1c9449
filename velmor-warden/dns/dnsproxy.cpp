#include "dnsproxy.h"

#include "dnsproxyrequest.h"
#include "query.h"
#include "serversmanager.h"
#include "tcptransport.h"
#include "tcptransportmanager.h"
#include "udpforwarder.h"
#include "udpsocketpool.h"
#include "udptransport.h"

#include "base/serverstate.h"
#include "platform/socketowner.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

namespace Velmor {

namespace {

const int MaxUdpRequestsPerRead = 64;

} // namespace

DNSProxy::DNSProxy(ServerState *server)
    : QObject(server)
    , m_server(server)
    , m_udpSocket(new QUdpSocket(this))
    , m_udpForwarder(new DNS::UdpForwarder(m_udpSocket, this))
    , m_tcpServer(new QTcpServer(this))
    , m_tcpManager(new DNS::TcpTransportManager(TcpClientIdleLimit, this))
{
    m_udpSocket->setProxy(QNetworkProxy::NoProxy);
    m_tcpServer->setProxy(QNetworkProxy::NoProxy);
    connect(m_udpSocket, &QUdpSocket::readyRead, this, &DNSProxy::readServerUdpRequest);
    connect(m_tcpServer, &QTcpServer::newConnection, this, &DNSProxy::newTcpConnection);
}

DNSProxy::~DNSProxy() = default;

bool DNSProxy::start()
{
    m_errorString.clear();
    if (isListening())
        return true;

    const QHostAddress address = m_server->localDnsProxyAddress(true);
    const quint16 port = m_server->localDnsProxyPort();
    // Without DontShareAddress a second program could bind the same UDP port and take part of the requests.
    if (!m_udpSocket->bind(address, port, QAbstractSocket::DontShareAddress)) {
        m_errorString = QStringLiteral("Failed to start DNS proxy on udp://%1:%2: %3")
                            .arg(address.toString())
                            .arg(port)
                            .arg(m_udpSocket->errorString());
        qWarning("%s", qPrintable(m_errorString));
        return false;
    }
    DNS::setReceiveBufferSize(m_udpSocket);
    m_udpForwarder->socketBound();
    if (!m_tcpServer->listen(address, port)) {
        m_errorString = QStringLiteral("Failed to start DNS proxy on tcp://%1:%2: %3")
                            .arg(address.toString())
                            .arg(port)
                            .arg(m_tcpServer->errorString());
        qWarning("%s", qPrintable(m_errorString));
        m_udpSocket->close();
        return false;
    }
    m_address = address;
    m_port = port;
    Q_EMIT stateChanged();
    return true;
}

void DNSProxy::stop()
{
    if (!isListening())
        return;
    qDeleteAll(findChildren<DNS::TcpServerTransport *>(QString(), Qt::FindDirectChildrenOnly));
    m_udpSocket->close();
    m_tcpServer->close();
    DNS::ServersManager::instance()->dropTcpTransports();
    Q_EMIT stateChanged();
}

bool DNSProxy::isListening() const
{
    return m_udpSocket->state() == QAbstractSocket::BoundState;
}

bool DNSProxy::isLocalSource(const QHostAddress &address)
{
    // The proxy serves this computer's programs only, whatever address it listens on.
    return m_localAddresses.contains(address);
}

bool DNSProxy::upstreamIsSelf()
{
    if (m_server->upstreamProxyPort() != m_port)
        return false;
    const QHostAddress &upstream = m_server->upstreamProxyAddress();
    if (upstream == m_address)
        return true;
    const bool anyAddress = m_address == QHostAddress(QHostAddress::AnyIPv4) || m_address == QHostAddress::AnyIPv6
        || m_address == QHostAddress::Any;
    return anyAddress && m_localAddresses.contains(upstream);
}

void DNSProxy::readServerUdpRequest()
{
    DNS::Packet request;
    QHostAddress sender;
    QHostAddress destination;
    quint16 port = 0;
    // A bounded batch, so a flood of datagrams cannot hold up the event loop. The socket tells of more only once a
    // read found none left, so a batch cut short is taken up again from the event loop.
    for (int i = 0; i < MaxUdpRequestsPerRead; ++i) {
        if (!m_udpForwarder->receive(&request, &sender, &port, &destination))
            return;
        if (!request.isWellFormed() || !isLocalSource(sender))
            continue;
        const bool toSelf = upstreamIsSelf();
        DNS::UdpSocketPool *pool = toSelf
            ? nullptr
            : DNS::ServersManager::instance()->udpPool(m_server->upstreamProxyAddress(), m_server->upstreamProxyPort());
        // The user whose share the request takes: the owner of the client's socket, which the answer would reach.
        const qint64 owner = m_clientOwners.owner(sender, port, destination.isNull() ? m_address : destination, m_port);
        m_udpForwarder->forward(
            sender, port, std::move(request), m_server->profileToken(), pool, toSelf, destination, owner);
    }
    QMetaObject::invokeMethod(this, &DNSProxy::readServerUdpRequest, Qt::QueuedConnection);
}

void DNSProxy::newTcpConnection()
{
    while (QTcpSocket *socket = m_tcpServer->nextPendingConnection()) {
        qint64 owner = -1;
        bool taken = isLocalSource(socket->peerAddress());
        if (taken) {
            owner = Platform::tcpSocketOwner(
                socket->peerAddress(), socket->peerPort(), socket->localAddress(), socket->localPort());
            taken = m_tcpClientsOfUser.value(owner) < MaxTcpClientsPerUser
                && (m_tcpOwners.size() < MaxTcpClients || closeIdleOfLargestUser());
        }
        if (!taken) {
            socket->abort();
            delete socket;
            continue;
        }
        ++m_tcpClientsOfUser[owner];
        auto *transport = new DNS::TcpServerTransport(socket, this);
        m_tcpOwners.insert(transport, owner);
        connect(transport, &QObject::destroyed, this, [this, transport, owner] {
            m_tcpOwners.remove(transport);
            auto held = m_tcpClientsOfUser.find(owner);
            if (held != m_tcpClientsOfUser.end() && --held.value() <= 0)
                m_tcpClientsOfUser.erase(held);
        });
        connect(transport, &DNS::TcpServerTransport::released, this,
            [this, transport] { m_tcpManager->release(transport); });
        connect(transport, &DNS::Transport::readyRead, this, qOverload<>(&DNSProxy::tcpReadyRead));
        // Watched with no user, so a connection that never sends a request is closed once idle as well.
        m_tcpManager->acquire(transport);
        m_tcpManager->release(transport);
        tcpReadyRead(transport);
    }
}

bool DNSProxy::closeIdleOfLargestUser()
{
    if (m_tcpClientsOfUser.isEmpty())
        return false;
    auto largest = m_tcpClientsOfUser.constBegin();
    for (auto it = m_tcpClientsOfUser.constBegin(); it != m_tcpClientsOfUser.constEnd(); ++it) {
        if (it.value() > largest.value())
            largest = it;
    }
    DNS::TcpServerTransport *oldest = nullptr;
    for (auto it = m_tcpOwners.constBegin(); it != m_tcpOwners.constEnd(); ++it) {
        DNS::TcpServerTransport *transport = it.key();
        if (it.value() == largest.key() && transport->inFlight() == 0
            && (!oldest || transport->lastRead() < oldest->lastRead()))
            oldest = transport;
    }
    if (!oldest)
        return false;
    // Its destruction gives back its place at once.
    delete oldest;
    return true;
}

void DNSProxy::tcpReadyRead(DNS::TcpServerTransport *transport)
{
    while (transport->hasMessages()) {
        const DNS::Packet message = transport->takeMessage();
        transport->beginRequest();
        m_tcpManager->acquire(transport);
        auto *request = new DNSProxyRequest(m_server, transport, message, this);
        request->forward(DNS::Query::Tcp, upstreamIsSelf());
    }
}

void DNSProxy::tcpReadyRead()
{
    if (auto *transport = qobject_cast<DNS::TcpServerTransport *>(sender()))
        tcpReadyRead(transport);
}

} // namespace Velmor
