#ifndef VELMOR_DNS_TCPTRANSPORT_H
#define VELMOR_DNS_TCPTRANSPORT_H

#include "tcpframer.h"
#include "transport.h"

#include <QAbstractSocket>

namespace Velmor {
namespace DNS {

// One TCP connection carrying length-prefixed messages. Deletes itself when its socket disconnects.
class TcpTransport : public Transport
{
    Q_OBJECT

public:
    explicit TcpTransport(QObject *parent = nullptr);

    bool write(Velmor::DNS::Packet &message) override;
    QHostAddress peerAddress() const override;
    quint16 peerPort() const override;

    // Wires the socket, which becomes the transport's child.
    void setSocket(QAbstractSocket *socket);
    QAbstractSocket *socket() const { return m_socket; }
    // When data last arrived (or the transport was made), on the DNS clock.
    qint64 lastRead() const { return m_lastRead; }

Q_SIGNALS:
    void disconnected();

protected Q_SLOTS:
    void socket_readyRead();
    // Deletes the transport later.
    virtual void socket_disconnected();

protected:
    // Whether the next message may be framed now; while false the socket's bytes wait where they are.
    virtual bool acceptsMessages() const { return true; }
    // Called after each message was offered to the receivers.
    virtual void messageOffered() { }
    // Sends the message as it is, behind its length.
    bool send(const Velmor::DNS::Packet &message);

    QAbstractSocket *m_socket = nullptr;
    qint64 m_lastRead;
    TcpFramer m_framer;
};

// A client's connection to the proxy. Each request taken from it counts as in flight until its holder releases
// it; with 64 in flight, further bytes are left unread until one is released. A client that closes its sending
// side after its requests (as a client may, to say it has no more) still gets their answers: the connection
// closes once the last of them is written.
class TcpServerTransport : public TcpTransport
{
    Q_OBJECT

public:
    static constexpr int MaxInFlight = 64;

    TcpServerTransport(QAbstractSocket *accepted, QObject *parent = nullptr);
    ~TcpServerTransport() override;

    bool write(Velmor::DNS::Packet &message) override;

    // One more request of this connection is being answered.
    void beginRequest();
    // One request is done; reading resumes when it was held back.
    void release() override;
    int inFlight() const { return m_inFlight; }

Q_SIGNALS:
    void released();

protected Q_SLOTS:
    void socket_disconnected() override;

protected:
    bool acceptsMessages() const override;

private:
    // With nothing in flight: ends a connection whose client closed, or lets go of the spare descriptor.
    void settle();

    int m_inFlight = 0;
    // While requests are in flight: a second descriptor of the connection, for their answers after the socket gave
    // up its own.
    int m_spare = -1;
    bool m_halfClosed = false;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_TCPTRANSPORT_H
