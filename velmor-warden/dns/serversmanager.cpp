#include "serversmanager.h"

#include "tcpclienttransport.h"
#include "tcptransportmanager.h"
#include "udpsocketpool.h"
#include "udptransport.h"

#include <QCoreApplication>

namespace Velmor {
namespace DNS {

ServersManager *ServersManager::s_instance = nullptr;

ServersManager *ServersManager::instance()
{
    if (!s_instance)
        s_instance = new ServersManager(QCoreApplication::instance());
    return s_instance;
}

ServersManager::ServersManager(QObject *parent)
    : QObject(parent)
    // IDs from a fixed seed would repeat in every run, which lets anyone forge answers to the first queries.
    , m_idGenerator(QRandomGenerator::securelySeeded())
    , m_tcpManager(new TcpTransportManager(120, this))
{ }

ServersManager::~ServersManager()
{
    if (s_instance == this)
        s_instance = nullptr;
}

quint16 ServersManager::nextQueryId()
{
    return quint16(m_idGenerator.bounded(0x10000));
}

Transport *ServersManager::transport(const QHostAddress &address, quint16 port, bool udp)
{
    if (udp)
        return new UdpClientTransport(udpPool(address, port), this);

    const Server server(address, port);
    TcpClientTransport *transport = m_tcpTransports.value(server);
    if (!transport) {
        transport = new TcpClientTransport(address, port, this);
        m_tcpTransports.insert(server, transport);
        connect(transport, &TcpTransport::disconnected, this, &ServersManager::tcpTransportDisconnected);
        connect(transport, &Transport::error, this, &ServersManager::tcpTransportDisconnected);
        connect(transport, &QObject::destroyed, this, &ServersManager::tcpTransportDestroyed);
    }
    m_tcpManager->acquire(transport);
    return transport;
}

UdpSocketPool *ServersManager::udpPool(const QHostAddress &address, quint16 port)
{
    const Server server(address, port);
    UdpSocketPool *pool = m_udpPools.value(server);
    if (pool)
        return pool;
    // The pools of servers used before go once nothing of theirs is left open.
    for (auto it = m_udpPools.begin(); it != m_udpPools.end();) {
        if (it.value()->socketCount() == 0) {
            delete it.value();
            it = m_udpPools.erase(it);
        } else {
            ++it;
        }
    }
    pool = new UdpSocketPool(address, port, UdpSocketPool::DefaultSize, UdpSocketPool::MaxQueriesPerSocket, this);
    m_udpPools.insert(server, pool);
    return pool;
}

void ServersManager::releaseTransport(QObject *transport)
{
    m_tcpManager->release(static_cast<TcpTransport *>(transport));
}

void ServersManager::dropTcpTransports()
{
    const QList<TcpClientTransport *> transports = m_tcpTransports.values();
    m_tcpTransports.clear();
    for (TcpClientTransport *transport : transports) {
        disconnect(transport, nullptr, this, nullptr);
        delete transport;
    }
}

void ServersManager::tcpTransportDisconnected()
{
    auto *transport = static_cast<TcpTransport *>(sender());
    // The transport deletes itself; until then it must not be handed to new queries.
    forget(transport);
    disconnect(transport, &TcpTransport::disconnected, this, &ServersManager::tcpTransportDisconnected);
    disconnect(transport, &Transport::error, this, &ServersManager::tcpTransportDisconnected);
}

void ServersManager::tcpTransportDestroyed(QObject *transport)
{
    forget(transport);
}

void ServersManager::forget(QObject *transport)
{
    for (auto it = m_tcpTransports.begin(); it != m_tcpTransports.end();) {
        if (it.value() == transport)
            it = m_tcpTransports.erase(it);
        else
            ++it;
    }
}

} // namespace DNS
} // namespace Velmor
