#ifndef VELMOR_DNS_UDPSOCKETPOOL_H
#define VELMOR_DNS_UDPSOCKETPOOL_H

#include "packet.h"

#include "velmorwire/error.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

#include <memory>
#include <vector>

#include <sys/socket.h>

namespace Velmor {
namespace DNS {

// The UDP sockets of the queries to one DNS server. Opening, binding and closing a socket for every query cost
// about half of a forwarded request, so a few sockets are shared instead, each kept only briefly:
// - Every socket is connected to the server's address and port, so the system hands it only datagrams from there;
//   a reply forged from any other address or port never reaches a query.
// - A query takes one of the sockets at random. Its ID is drawn from a system-seeded generator and is one the
//   socket has never carried, so a late reply to a query that gave up cannot be taken for a newer one.
// - A socket takes no new query once it has carried MaxQueriesPerSocket of them or is MaxSocketAge old, and closes
//   when its last query ends. The source ports keep changing as with a socket per query (the system picks each at
//   random), and none stays open long enough to be found and aimed at.
// A forger still has to hit a socket's port and the ID of a query in flight on it: the odds per forged datagram are
// the same as with a socket per query, as long as as many IDs wait.
// A server that stops answering keeps every retired socket open until its queries give up, so the pool holds at
// most MaxSockets open and MaxWaiting queries; a send beyond either fails at once. Each query names the local user
// it is for, and the pool counts the sockets on which each user's queries wait, so the caller can tell who holds
// the most of them when they are all taken.
class UdpSocketPool : public QObject
{
    Q_OBJECT

public:
    // One query waiting on the pool for its response.
    class Waiter
    {
    public:
        // A datagram with the waiter's ID came from the server. True when it is the response: the waiter is done and
        // the pool forgets it. False leaves the waiter waiting, so a stray message cannot end its query.
        virtual bool offer(Velmor::DNS::Packet &message) = 0;

    protected:
        ~Waiter() = default;
    };

    class Socket;
    // Where one query waits: its socket and ID, from a successful send until the response is taken or cancel.
    struct Ticket
    {
        Socket *socket = nullptr;
        quint16 id = 0;
    };

    static constexpr int DefaultSize = 4;
    static constexpr int MaxQueriesPerSocket = 100;
    // Milliseconds on the DNS clock.
    static constexpr qint64 MaxSocketAge = 2000;
    static constexpr int MaxSockets = 32;
    static constexpr int MaxWaiting = 2048;

    // size sockets take new queries at once, each up to maxQueriesPerSocket of them.
    UdpSocketPool(const QHostAddress &address, quint16 port, int size = DefaultSize,
        int maxQueriesPerSocket = MaxQueriesPerSocket, QObject *parent = nullptr);
    ~UdpSocketPool() override;

    const QHostAddress &serverAddress() const { return m_address; }
    quint16 serverPort() const { return m_port; }

    // Writes a fresh ID into the message and sends it; the waiter then waits on the ticket. On failure nothing waits
    // and error says why. owner is the local user the query is for (-1: the service's own, or not known).
    bool send(Velmor::DNS::Packet &message, Waiter *waiter, Ticket *ticket, Velmor::Error *error, qint64 owner = -1);
    // The waiter stops waiting (it gave up, or went); a reply with its ID is dropped from now on. Clears the ticket.
    void cancel(Ticket *ticket);

    // Open sockets, those that take no new queries included.
    int socketCount() const;
    int waitingCount() const;
    // Open sockets on which a query of the user waits, and the user with the most of them (-1 when none waits).
    int socketsHeldBy(qint64 owner) const;
    qint64 largestSocketHolder() const;

public Q_SLOTS:
    // Retires the sockets that are too old and closes the retired ones that nothing waits on.
    void sweep();

private:
    int pick(qint64 time, Velmor::Error *error);
    bool open(std::unique_ptr<Socket> &slot, qint64 time, Velmor::Error *error);
    void retire(std::unique_ptr<Socket> &slot);
    void released(Socket *socket);
    // The query with the ID stops waiting on the socket; false when none did.
    bool forget(Socket *socket, quint16 id);
    void read(Socket *socket);
    void reap();

    QHostAddress m_address;
    quint16 m_port;
    sockaddr_storage m_server = {};
    socklen_t m_serverLength = 0;
    QRandomGenerator m_random;
    int m_maxQueriesPerSocket;
    std::vector<std::unique_ptr<Socket>> m_slots;
    std::vector<std::unique_ptr<Socket>> m_retired;
    QTimer m_sweepTimer;
    QByteArray m_buffer;
    QHash<qint64, int> m_socketsHeld;
    int m_waiting = 0;
    bool m_reapPosted = false;
    bool m_reading = false;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_UDPSOCKETPOOL_H
