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
    m_server = server;
    m_port = port;
    m_udp = udp;
    RequestManager::instance()->insert(this, udp ? UdpTimeout : TcpTimeout);
    const bool sent = use(ServersManager::instance()->transport(server, port, udp));
    message = m_request;
    return sent;
}

bool Query::use(Transport *transport)
{
    m_transport = transport;
    connect(transport, &Transport::readyRead, this, &Query::transport_readyRead);
    connect(transport, &Transport::error, this, &Query::transport_error);
    return transport->write(m_request);
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
    Transport *failed = m_transport;
    if (!failed || m_done)
        return;
    if (m_resent || !failed->isResendable()) {
        requestFinished(failed->lastError());
        return;
    }
    // The pool has already let go of the failed connection, so this opens a new one.
    m_resent = true;
    disconnect(failed, nullptr, this, nullptr);
    failed->release();
    if (!use(ServersManager::instance()->transport(m_server, m_port, m_udp)) && m_transport)
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
