#ifndef VELMOR_DNSPROXYREQUEST_H
#define VELMOR_DNSPROXYREQUEST_H

#include "packet.h"

#include <QObject>
#include <QPointer>

namespace Velmor {

class ServerState;

namespace DNS {
class Query;
class Transport;
} // namespace DNS

// One client request: forwarded to the filtering resolver with the identification record, and the resolver's
// answer relayed under the client's own ID. Deletes itself once answered or once its query gave up.
class DNSProxyRequest : public QObject
{
    Q_OBJECT

public:
    DNSProxyRequest(Velmor::ServerState *server, Velmor::DNS::Transport *client, const Velmor::DNS::Packet &request,
        QObject *parent = nullptr);
    ~DNSProxyRequest() override;

    // Forwards the request by the client's transport kind (a Query::SendMode). A request whose upstream is the
    // proxy itself is answered SERVFAIL rather than sent round in a loop.
    void forward(int mode, bool upstreamIsSelf);

    const Velmor::DNS::Packet &request() const { return m_request; }

private Q_SLOTS:
    void queryFinished();

private:
    // The request itself sent back as a response with the given RCODE, under the client's ID.
    void replyWithCode(int rcode);
    void reply(Velmor::DNS::Packet &answer);

    QPointer<Velmor::DNS::Query> m_query;
    bool m_answered = false;
    quint16 m_clientId;
    Velmor::DNS::Packet m_request;
    // Guarded: a TCP client may close, or the proxy's stop remove it, before the answer is ready.
    QPointer<Velmor::DNS::Transport> m_client;
    Velmor::ServerState *m_server;
};

} // namespace Velmor

#endif // VELMOR_DNSPROXYREQUEST_H
