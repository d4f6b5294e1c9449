#include "dnsproxyrequest.h"

#include "query.h"
#include "transport.h"

#include "core/serverstate.h"

namespace Velmor {

DNSProxyRequest::DNSProxyRequest(
    ServerState *server, DNS::Transport *client, const DNS::Packet &request, QObject *parent)
    : QObject(parent)
    , m_clientId(request.id())
    , m_request(request)
    , m_client(client)
    , m_server(server)
{ }

DNSProxyRequest::~DNSProxyRequest()
{
    if (m_client)
        m_client->release();
}

void DNSProxyRequest::forward(int mode, bool upstreamIsSelf)
{
    if (m_request.isResponse()) {
        replyWithCode(DNS::Packet::Refused);
        return;
    }
    const quint32 token = m_server->profileToken();
    // Without its record the request would be filtered as nobody's; one that cannot carry it is refused as
    // malformed (its additional count is already at the limit, or it is as long as a message can be).
    if (token != 0 && !m_request.appendIdentification(token)) {
        replyWithCode(DNS::Packet::FormatError);
        return;
    }
    if (upstreamIsSelf) {
        replyWithCode(DNS::Packet::ServerFailure);
        return;
    }
    auto *query = new DNS::Query(this);
    m_query = query;
    connect(query, &DNS::Query::finished, this, &DNSProxyRequest::queryFinished);
    const bool sent = query->send(m_server->upstreamProxyAddress(), m_server->upstreamProxyPort(), m_request, mode);
    if (!sent)
        replyWithCode(DNS::Packet::ServerFailure);
}

void DNSProxyRequest::queryFinished()
{
    DNS::Query *query = m_query;
    if (!query || m_answered)
        return;
    switch (query->error().code()) {
    case 0: {
        DNS::Packet answer = query->response();
        reply(answer);
        break;
    }
    case 2:
        // The resolver did not answer in time; neither does the proxy, so the client retries as it would.
        m_answered = true;
        deleteLater();
        break;
    default:
        replyWithCode(DNS::Packet::ServerFailure);
        break;
    }
}

void DNSProxyRequest::replyWithCode(int rcode)
{
    if (m_answered)
        return;
    DNS::Packet answer = m_request;
    answer.setResponse(true);
    answer.setResponseCode(rcode);
    reply(answer);
}

void DNSProxyRequest::reply(DNS::Packet &answer)
{
    m_answered = true;
    answer.setId(m_clientId);
    if (m_client)
        m_client->write(answer);
    deleteLater();
}

} // namespace Velmor
