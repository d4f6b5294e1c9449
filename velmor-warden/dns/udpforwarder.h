#ifndef VELMOR_DNS_UDPFORWARDER_H
#define VELMOR_DNS_UDPFORWARDER_H

#include "packet.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <list>
#include <memory>

class QUdpSocket;

namespace Velmor {
namespace DNS {

class UdpSocketPool;

// The requests of the proxy's UDP clients. Each one is answered at once with an error code, or sent upstream through
// the server's pooled sockets, where it waits as a plain record rather than as objects of its own: at thousands of
// requests a second their making, signals and deferred deletion would cost more than the forwarding. The response
// goes back through the proxy's socket under the client's ID; a request that gets none within the UDP deadline
// is answered SERVFAIL.
class UdpForwarder : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxWaiting = 2048;
    static constexpr int MaxWaitingPerUser = 512;
    // Milliseconds a question that went unanswered is answered SERVFAIL at once, and how many such questions are
    // kept in all (the oldest goes first).
    static constexpr qint64 UnansweredMemory = 5000;
    static constexpr int MaxUnanswered = 1024;

    // Answers go out through socket, the proxy's.
    explicit UdpForwarder(QUdpSocket *socket, QObject *parent = nullptr);
    ~UdpForwarder() override;

    // The socket was bound anew; said once a bind, so no datagram asks again.
    void socketBound();

    // Reads the next datagram of the proxy's socket; false when none is left, and only then does the socket tell of
    // the next one. destination is the address the datagram was sent to when the socket listens on an any-address,
    // else null.
    bool receive(
        Velmor::DNS::Packet *datagram, QHostAddress *sender, quint16 *port, QHostAddress *destination = nullptr);
    // Handles a well-formed request of the client at address and port as the proxy does (DNSProxyRequest::prepare)
    // and, unless it is answered at once, sends it to the pool's server. Its answer leaves from destination unless
    // that is null. owner is the local user that sent it (-1: not known, which is one more share).
    void forward(const QHostAddress &address, quint16 port, Velmor::DNS::Packet request, quint32 token,
        UdpSocketPool *pool, bool upstreamIsSelf, const QHostAddress &destination = QHostAddress(), qint64 owner = -1);
    // Requests waiting for their response.
    int pendingCount() const { return int(m_pending.size()); }
    // Those of one user.
    int pendingCount(qint64 owner) const;

public Q_SLOTS:
    // Answers SERVFAIL to the requests whose deadline has passed.
    void expire();

private:
    struct Pending;
    // One user's requests, oldest first, linked through their records.
    struct Share
    {
        int count = 0;
        Pending *oldest = nullptr;
        Pending *newest = nullptr;
    };

    bool offered(Pending &pending, Velmor::DNS::Packet &message);
    // Takes the request out of the list and its user's share; it must already be answered or cancelled.
    void erase(Pending &pending);
    // Ends the request with SERVFAIL to make room.
    void evict(Pending &pending);
    void makeRoom(qint64 owner);
    static QByteArray questionKey(const Velmor::DNS::Packet &request, qint64 owner);
    bool recentlyUnanswered(const QByteArray &key);
    void rememberUnanswered(const Velmor::DNS::Packet &request, qint64 owner);
    void answer(const QHostAddress &address, quint16 port, const QHostAddress &from, const QByteArray &bytes);
    void arm();

    // Guarded: the proxy's socket may go before the requests that answer through it.
    QPointer<QUdpSocket> m_socket;
    // In the order sent, which is the order of their deadlines: they all wait equally long.
    std::list<Pending> m_pending;
    std::list<Pending> m_spare;
    QHash<qint64, Share> m_shares;
    // Questions that went unanswered (owner and question), with when they are forgotten; in the order remembered.
    QHash<QByteArray, qint64> m_unanswered;
    std::deque<QByteArray> m_unansweredOrder;
    QTimer m_timer;
    QByteArray m_buffer;
    // Datagrams read together in one system call, handed out one by one.
    struct Batch;
    std::unique_ptr<Batch> m_batch;
    bool m_anyAddress = false;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_UDPFORWARDER_H
