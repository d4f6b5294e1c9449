#include "dnsproxyrequest.h"

#include "query.h"
#include "transport.h"

#include "base/serverstate.h"

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

int DNSProxyRequest::prepare(DNS::Packet &request, quint32 token, bool upstreamIsSelf)
{
    if (request.isResponse())
        return DNS::Packet::Refused;
    // Without its record the request would be filtered as nobody's; one that cannot carry it is refused as
    // malformed (its additional count is already at the limit, or it is as long as a message can be).
    if (token != 0 && !request.appendIdentification(token))
        return DNS::Packet::FormatError;
    if (upstreamIsSelf)
        return DNS::Packet::ServerFailure;
    return DNS::Packet::NoError;
}

DNS::Packet DNSProxyRequest::errorAnswer(const DNS::Packet &request, quint16 clientId, int rcode)
{
    DNS::Packet answer = request;
    // A request that announces records it does not hold (an additional count of 65535, say) must not make the
    // answer announce them too.
    answer.dropUnreadableSections();
    answer.setResponse(true);
    answer.setResponseCode(rcode);
    answer.setId(clientId);
    return answer;
}

void DNSProxyRequest::forward(int mode, bool upstreamIsSelf)
{
    const int rcode = prepare(m_request, m_server->profileToken(), upstreamIsSelf);
    if (rcode != DNS::Packet::NoError) {
        replyWithCode(rcode);
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
    if (query->error().isSuccess()) {
        DNS::Packet answer = query->response();
        reply(answer);
        return;
    }
    // A resolver that stays silent fails the request like any other failure: without an answer, a client that waits
    // longer than the proxy hangs on to a request nobody works on any more.
    replyWithCode(DNS::Packet::ServerFailure);
}

void DNSProxyRequest::replyWithCode(int rcode)
{
    if (m_answered)
        return;
    DNS::Packet answer = errorAnswer(m_request, m_clientId, rcode);
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
