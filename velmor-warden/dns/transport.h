#ifndef VELMOR_DNS_TRANSPORT_H
#define VELMOR_DNS_TRANSPORT_H

#include "packet.h"

#include "velmorwire/error.h"

#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <QObject>

namespace Velmor {
namespace DNS {

// Carries whole DNS messages over one UDP or TCP path and collects the well-formed ones that arrive.
class Transport : public QObject
{
    Q_OBJECT

public:
    explicit Transport(QObject *parent = nullptr);
    ~Transport() override;

    // The holder is done with the transport.
    virtual void release() = 0;
    // Sends the message; the client kinds first write their own ID into it.
    virtual bool write(Velmor::DNS::Packet &message) = 0;
    virtual QHostAddress peerAddress() const;
    virtual quint16 peerPort() const;
    // After error(): whether the messages in flight may be sent again on a new path, because the path worked and
    // then went (a server that closes its end).
    virtual bool isResendable() const { return false; }

    // Removes and returns the oldest message; an empty message when none waits.
    Velmor::DNS::Packet takeMessage();
    // The oldest message without taking it; an empty message when none waits.
    Velmor::DNS::Packet firstMessage() const;
    bool hasMessages() const { return !m_received.isEmpty(); }

    quint16 lastId() const { return m_lastId; }
    const Velmor::Error &lastError() const { return m_lastError; }

Q_SIGNALS:
    // After each message added to the received ones.
    void readyRead();
    // The path failed; lastError says why. Queries waiting on it end at once.
    void error();

protected Q_SLOTS:
    virtual void socket_error(QAbstractSocket::SocketError socketError);

protected:
    // Whether deliver keeps the message: a well-formed one.
    virtual bool isAcceptable(const Velmor::DNS::Packet &message) const;
    // Keeps an acceptable message and announces it; false for any other message.
    bool deliver(const Velmor::DNS::Packet &message);

    quint16 m_lastId = 0;
    Velmor::Error m_lastError;
    QList<Velmor::DNS::Packet> m_received;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_TRANSPORT_H
