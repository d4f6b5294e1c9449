#include "transport.h"

namespace Velmor {
namespace DNS {

Transport::Transport(QObject *parent)
    : QObject(parent)
{ }

Transport::~Transport() = default;

QHostAddress Transport::peerAddress() const
{
    return QHostAddress();
}

quint16 Transport::peerPort() const
{
    return 0;
}

Packet Transport::takeMessage()
{
    if (m_received.isEmpty())
        return Packet();
    return m_received.takeFirst();
}

Packet Transport::firstMessage() const
{
    if (m_received.isEmpty())
        return Packet();
    return m_received.first();
}

void Transport::socket_error(QAbstractSocket::SocketError socketError)
{
    Q_UNUSED(socketError);
}

bool Transport::isAcceptable(const Packet &message) const
{
    return message.isWellFormed();
}

bool Transport::deliver(const Packet &message)
{
    if (!isAcceptable(message))
        return false;
    m_received.append(message);
    Q_EMIT readyRead();
    return true;
}

} // namespace DNS
} // namespace Velmor
