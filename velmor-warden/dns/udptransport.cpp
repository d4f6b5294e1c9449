#include "udptransport.h"

#include <cerrno>
#include <sys/socket.h>

namespace Velmor {
namespace DNS {

UdpClientTransport::UdpClientTransport(UdpSocketPool *pool, QObject *parent)
    : Transport(parent)
    , m_pool(pool)
{ }

UdpClientTransport::~UdpClientTransport()
{
    if (m_pool)
        m_pool->cancel(&m_ticket);
}

void UdpClientTransport::release()
{
    if (m_pool)
        m_pool->cancel(&m_ticket);
    deleteLater();
}

bool UdpClientTransport::write(Packet &message)
{
    if (!m_pool) {
        m_lastId = message.id();
        m_lastError = Error(Error::GeneralFailure, QStringLiteral("The socket is closed"));
        return false;
    }
    m_pool->cancel(&m_ticket);
    const bool sent = m_pool->send(message, this, &m_ticket, &m_lastError);
    m_lastId = message.id();
    return sent;
}

QHostAddress UdpClientTransport::peerAddress() const
{
    return m_pool ? m_pool->serverAddress() : QHostAddress();
}

quint16 UdpClientTransport::peerPort() const
{
    return m_pool ? m_pool->serverPort() : 0;
}

bool UdpClientTransport::isAcceptable(const Packet &message) const
{
    return message.isQuestionlessError() || Transport::isAcceptable(message);
}

bool UdpClientTransport::offer(Packet &message)
{
    QPointer<UdpClientTransport> self(this);
    if (!deliver(message))
        return false;
    // Gone with its query: its ticket went with it.
    if (!self)
        return true;
    if (m_received.isEmpty()) {
        // Taken; the pool forgets the ticket itself.
        m_ticket = UdpSocketPool::Ticket();
        return true;
    }
    // Not the response: dropped, so it cannot hold back the one that follows.
    m_received.clear();
    return false;
}

void setReceiveBufferSize(QAbstractSocket *socket)
{
    const int size = 0x20000;
    if (::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0)
        qWarning("Failed to set udp socket buffer: %d", errno);
}

} // namespace DNS
} // namespace Velmor
