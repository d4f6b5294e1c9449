#include "query.h"

#include "serversmanager.h"
#include "transport.h"
#include "velmorwire/requestmanager.h"

namespace Velmor {
namespace DNS {

Query::Query(QObject *parent)
    : Request(parent)
{ }

Query::~Query()
{
    if (m_transport)
        m_transport->release();
}

bool Query::send(const QHostAddress &server, quint16 port, Packet &message, int mode)
{
    m_request = message;
    // The size of what goes on the wire: a message built from records holds only its header in raw form until
    // its bytes are made.
    const bool udp = mode == Udp || (mode == UdpUnlessLarge && m_request.toByteArray().size() <= 512);
    Transport *transport = ServersManager::instance()->transport(server, port, udp);
    m_transport = transport;
    connect(transport, &Transport::readyRead, this, &Query::transport_readyRead);
    connect(transport, &Transport::error, this, &Query::transport_error);
    RequestManager::instance()->insert(this, udp ? UdpTimeout : TcpTimeout);
    const bool sent = transport->write(m_request);
    message = m_request;
    return sent;
}

void Query::transport_readyRead()
{
    Transport *transport = m_transport;
    if (m_done || !transport || !transport->hasMessages())
        return;
    if (!transport->firstMessage().isResponseTo(m_request))
        return;
    m_response = transport->takeMessage();
    requestFinished(Error());
}

void Query::transport_error()
{
    if (m_transport)
        requestFinished(m_transport->lastError());
}

void Query::requestFinished(const Error &error)
{
    if (m_done)
        return;
    m_done = true;
    if (m_transport)
        disconnect(m_transport, nullptr, this, nullptr);
    Request::requestFinished(error);
}

} // namespace DNS
} // namespace Velmor
