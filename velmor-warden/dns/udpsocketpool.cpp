#include "udpsocketpool.h"

#include "dnsclock.h"

#include <QHash>
#include <QNetworkInterface>
#include <QPointer>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QtEndian>

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <unistd.h>

namespace Velmor {
namespace DNS {

namespace {

// Datagrams read per wake-up of one socket, so a flood on it cannot hold up the event loop; the rest come next time.
const int MaxDatagramsPerRead = 64;
// Datagrams read with one system call.
const int BatchSize = 8;
// The largest UDP payload.
const int MaxDatagramSize = 65536;

} // namespace

class UdpSocketPool::Socket
{
public:
    explicit Socket(int descriptor)
        : fd(descriptor)
        , notifier(descriptor, QSocketNotifier::Read)
    { }

    ~Socket()
    {
        // The notifier must let go of the descriptor before it is closed and perhaps reused.
        notifier.setEnabled(false);
        ::close(fd);
    }

    const int fd;
    QSocketNotifier notifier;
    qint64 openedAt = 0;
    int uses = 0;
    bool retired = false;
    struct Entry
    {
        Waiter *waiter;
        qint64 owner;
    };
    QHash<quint16, Entry> waiting;
    // Waiting queries per user.
    QHash<qint64, int> owners;
    std::bitset<0x10000> usedIds;
};

UdpSocketPool::UdpSocketPool(
    const QHostAddress &address, quint16 port, int size, int maxQueriesPerSocket, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_port(port)
    , m_random(QRandomGenerator::securelySeeded())
    // A socket that carried every ID would have none left to give.
    , m_maxQueriesPerSocket(qBound(1, maxQueriesPerSocket, 0x8000))
    , m_slots(size_t(qMax(size, 1)))
    , m_buffer(BatchSize * MaxDatagramSize, Qt::Uninitialized)
{
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&m_server);
        v4->sin_family = AF_INET;
        v4->sin_port = qToBigEndian(port);
        v4->sin_addr.s_addr = qToBigEndian(address.toIPv4Address());
        m_serverLength = sizeof(sockaddr_in);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&m_server);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = qToBigEndian(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6->sin6_addr, &bytes, sizeof bytes);
        v6->sin6_scope_id = quint32(QNetworkInterface::interfaceIndexFromName(address.scopeId()));
        m_serverLength = sizeof(sockaddr_in6);
    }
    m_sweepTimer.setInterval(int(MaxSocketAge));
    connect(&m_sweepTimer, &QTimer::timeout, this, &UdpSocketPool::sweep);
}

UdpSocketPool::~UdpSocketPool() = default;

bool UdpSocketPool::send(Packet &message, Waiter *waiter, Ticket *ticket, Error *error, qint64 owner)
{
    *ticket = Ticket();
    if (m_waiting >= MaxWaiting) {
        *error = Error(Error::GeneralFailure, QStringLiteral("Too many queries wait for the server"));
        return false;
    }
    const int index = pick(now(), error);
    if (index < 0)
        return false;
    std::unique_ptr<Socket> &slot = m_slots[size_t(index)];
    Socket *socket = slot.get();

    quint16 id;
    do {
        id = quint16(m_random.bounded(0x10000));
    } while (socket->usedIds.test(id));
    socket->usedIds.set(id);
    ++socket->uses;
    message.setId(id);

    const QByteArray bytes = message.toByteArray();
    ssize_t sent = -1;
    bool retried = false;
    for (;;) {
        sent = ::send(socket->fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
        if (sent >= 0)
            break;
        if (errno == EINTR)
            continue;
        // A refusal reported now is that of an earlier datagram of the socket (the server's port was closed then);
        // this one has not gone out yet.
        if (errno == ECONNREFUSED && !retried) {
            retried = true;
            continue;
        }
        break;
    }
    if (sent != bytes.size()) {
        *error = Error(
            Error::GeneralFailure, sent < 0 ? qt_error_string(errno) : QStringLiteral("The datagram was cut short"));
        if (socket->uses >= m_maxQueriesPerSocket)
            retire(slot);
        return false;
    }
    socket->waiting.insert(id, Socket::Entry { waiter, owner });
    if (socket->owners[owner]++ == 0)
        ++m_socketsHeld[owner];
    ++m_waiting;
    *ticket = Ticket { socket, id };
    if (socket->uses >= m_maxQueriesPerSocket)
        retire(slot);
    return true;
}

void UdpSocketPool::cancel(Ticket *ticket)
{
    Socket *socket = ticket->socket;
    const quint16 id = ticket->id;
    *ticket = Ticket();
    if (!socket)
        return;
    forget(socket, id);
    released(socket);
}

bool UdpSocketPool::forget(Socket *socket, quint16 id)
{
    const auto found = socket->waiting.constFind(id);
    if (found == socket->waiting.constEnd())
        return false;
    const qint64 owner = found->owner;
    socket->waiting.erase(found);
    --m_waiting;
    auto count = socket->owners.find(owner);
    if (count != socket->owners.end() && --count.value() == 0) {
        socket->owners.erase(count);
        auto held = m_socketsHeld.find(owner);
        if (held != m_socketsHeld.end() && --held.value() == 0)
            m_socketsHeld.erase(held);
    }
    return true;
}

int UdpSocketPool::socketsHeldBy(qint64 owner) const
{
    return m_socketsHeld.value(owner);
}

qint64 UdpSocketPool::largestSocketHolder() const
{
    qint64 largest = -1;
    int most = 0;
    for (auto it = m_socketsHeld.constBegin(); it != m_socketsHeld.constEnd(); ++it) {
        if (it.value() > most) {
            most = it.value();
            largest = it.key();
        }
    }
    return largest;
}

int UdpSocketPool::socketCount() const
{
    const auto open = std::count_if(m_slots.begin(), m_slots.end(), [](const auto &slot) { return bool(slot); });
    return int(open + qsizetype(m_retired.size()));
}

int UdpSocketPool::waitingCount() const
{
    return m_waiting;
}

void UdpSocketPool::sweep()
{
    const qint64 time = now();
    for (auto &slot : m_slots) {
        if (slot && time - slot->openedAt >= MaxSocketAge)
            retire(slot);
    }
    reap();
}

int UdpSocketPool::pick(qint64 time, Error *error)
{
    const int index = int(m_random.bounded(quint32(m_slots.size())));
    std::unique_ptr<Socket> &slot = m_slots[size_t(index)];
    if (slot && time - slot->openedAt >= MaxSocketAge)
        retire(slot);
    if (slot || open(slot, time, error))
        return index;
    // At the bound of open sockets a query still takes any socket that is open.
    for (size_t other = 0; other < m_slots.size(); ++other) {
        if (m_slots[other])
            return int(other);
    }
    return -1;
}

bool UdpSocketPool::open(std::unique_ptr<Socket> &slot, qint64 time, Error *error)
{
    if (m_serverLength == 0) {
        *error = Error(Error::GeneralFailure, QStringLiteral("The server address is not valid"));
        return false;
    }
    if (socketCount() >= MaxSockets) {
        *error = Error(Error::GeneralFailure, QStringLiteral("Too many sockets are open to the server"));
        return false;
    }
    const int fd = ::socket(m_server.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = Error(Error::GeneralFailure, qt_error_string(errno));
        return false;
    }
    // Connecting also binds the socket to a source port the system picks at random.
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&m_server), m_serverLength) != 0) {
        *error = Error(Error::GeneralFailure, qt_error_string(errno));
        ::close(fd);
        return false;
    }
    slot = std::make_unique<Socket>(fd);
    Socket *socket = slot.get();
    socket->openedAt = time;
    connect(&socket->notifier, &QSocketNotifier::activated, this, [this, socket] { read(socket); });
    if (!m_sweepTimer.isActive())
        m_sweepTimer.start();
    return true;
}

void UdpSocketPool::retire(std::unique_ptr<Socket> &slot)
{
    Socket *socket = slot.get();
    socket->retired = true;
    m_retired.push_back(std::move(slot));
    released(socket);
}

void UdpSocketPool::released(Socket *socket)
{
    if (!socket->retired || !socket->waiting.isEmpty())
        return;
    // Closed at once, so its place is free for the next query, unless a datagram of a socket is being handled further
    // up the stack: then from the event loop.
    if (!m_reading) {
        reap();
        return;
    }
    if (m_reapPosted)
        return;
    m_reapPosted = true;
    QMetaObject::invokeMethod(this, &UdpSocketPool::reap, Qt::QueuedConnection);
}

void UdpSocketPool::read(Socket *socket)
{
    QPointer<UdpSocketPool> self(this);
    // No socket closes under this loop; those freed meanwhile close from the event loop.
    const bool reading = m_reading;
    m_reading = true;
    const auto done = qScopeGuard([&] {
        if (self)
            m_reading = reading;
    });
    mmsghdr headers[BatchSize];
    iovec parts[BatchSize];
    for (int round = 0; round < MaxDatagramsPerRead / BatchSize; ++round) {
        for (int i = 0; i < BatchSize; ++i) {
            parts[i] = { m_buffer.data() + qsizetype(i) * MaxDatagramSize, size_t(MaxDatagramSize) };
            headers[i] = {};
            headers[i].msg_hdr.msg_iov = &parts[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        const int got = ::recvmmsg(socket->fd, headers, BatchSize, MSG_DONTWAIT, nullptr);
        if (got < 0) {
            // A refused port shows once on the socket in place of a datagram; its queries wait on as for a lost reply.
            if (errno == EINTR || errno == ECONNREFUSED)
                continue;
            return;
        }
        for (int i = 0; i < got; ++i) {
            const char *data = static_cast<const char *>(parts[i].iov_base);
            const qsizetype size = qsizetype(headers[i].msg_len);
            if (size < Packet::HeaderSize)
                continue;
            const quint16 id = qFromBigEndian<quint16>(data);
            const auto found = socket->waiting.constFind(id);
            // Late (its query gave up), stray or forged: nothing waits for it.
            if (found == socket->waiting.constEnd())
                continue;
            Waiter *waiter = found->waiter;
            Packet message(QByteArray(data, size));
            const bool taken = waiter->offer(message);
            if (!self)
                return;
            if (taken) {
                forget(socket, id);
                released(socket);
            }
        }
        // Fewer than asked for: none is left.
        if (got < BatchSize)
            return;
    }
}

void UdpSocketPool::reap()
{
    m_reapPosted = false;
    m_retired.erase(std::remove_if(m_retired.begin(), m_retired.end(),
                        [](const std::unique_ptr<Socket> &socket) { return socket->waiting.isEmpty(); }),
        m_retired.end());
    if (socketCount() == 0)
        m_sweepTimer.stop();
}

} // namespace DNS
} // namespace Velmor
