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

    // What becomes of a client's request before it goes upstream, in this order: a response (QR set) is refused;
    // with a token the identification record is appended, and a request that cannot carry it is refused as
    // malformed; a request whose upstream is the proxy itself fails rather than going round in a loop. NoError when
    // the request is to be sent, otherwise the RCODE of the answer it gets at once.
    static int prepare(Velmor::DNS::Packet &request, quint32 token, bool upstreamIsSelf);
    // The request itself sent back as a response with the RCODE, under the client's ID, its counts matching the
    // sections it holds.
    static Velmor::DNS::Packet errorAnswer(const Velmor::DNS::Packet &request, quint16 clientId, int rcode);

private Q_SLOTS:
    void queryFinished();

private:
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
