#ifndef VELMOR_DNS_QUERY_H
#define VELMOR_DNS_QUERY_H

#include "packet.h"

#include "velmorwire/request.h"

#include <QHostAddress>
#include <QPointer>

namespace Velmor {
namespace DNS {

class Transport;

// One message sent to one DNS server, waiting for the response that answers it. Finishes with success and the
// response, with Error::Timeout when its deadline passes (10 s over UDP, 120 s over TCP), or with the transport's error
// when the path fails. A message in flight on a connection that the server closes goes once more on a new one.
class Query : public Velmor::Request
{
    Q_OBJECT

public:
    enum SendMode {
        Tcp = 0,
        Udp = 1,
        // UDP unless the message is longer than 512 bytes.
        UdpUnlessLarge = 2
    };

    static constexpr quint16 UdpTimeout = 10;
    static constexpr quint16 TcpTimeout = 120;

    explicit Query(QObject *parent = nullptr);
    ~Query() override;

    // Sends the message; the transport gives it its ID, which request() then carries.
    virtual bool send(const QHostAddress &server, quint16 port, Velmor::DNS::Packet &message, int mode);
    void requestFinished(const Velmor::Error &error) override;

    const Velmor::DNS::Packet &request() const { return m_request; }
    const Velmor::DNS::Packet &response() const { return m_response; }
    Velmor::DNS::Transport *transport() const { return m_transport; }

public Q_SLOTS:
    virtual void transport_readyRead();

private Q_SLOTS:
    void transport_error();

private:
    bool use(Velmor::DNS::Transport *transport);

    Velmor::DNS::Packet m_request;
    Velmor::DNS::Packet m_response;
    QPointer<Velmor::DNS::Transport> m_transport;
    QHostAddress m_server;
    quint16 m_port = 0;
    bool m_udp = false;
    bool m_resent = false;
    bool m_done = false;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_QUERY_H
