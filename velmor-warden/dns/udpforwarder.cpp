#include "udpforwarder.h"

#include "dnsclock.h"
#include "dnsproxyrequest.h"
#include "query.h"
#include "rr.h"
#include "transport.h"
#include "udpsocketpool.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtEndian>

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>

namespace Velmor {
namespace DNS {

namespace {

const qint64 Deadline = qint64(Query::UdpTimeout) * 1000;
// The largest UDP payload.
const int MaxDatagramSize = 65536;
// Datagrams read with one system call.
const int BatchSize = 32;
// Records of finished requests kept for the next ones.
const int MaxSpare = 256;

// The socket address of an IPv4 or IPv6 address and port; its length, 0 for neither.
socklen_t socketAddress(const QHostAddress &address, quint16 port, sockaddr_storage *storage)
{
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *v4 = reinterpret_cast<sockaddr_in *>(storage);
        v4->sin_family = AF_INET;
        v4->sin_port = qToBigEndian(port);
        v4->sin_addr.s_addr = qToBigEndian(address.toIPv4Address());
        return sizeof(sockaddr_in);
    }
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = qToBigEndian(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6->sin6_addr, &bytes, sizeof bytes);
        return sizeof(sockaddr_in6);
    }
    return 0;
}

bool isAnyAddress(const QHostAddress &address)
{
    return address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::AnyIPv6)
        || address == QHostAddress(QHostAddress::Any);
}

// The message's one control record: the packet information that names the source address.
template<typename Info>
void setPacketInfo(msghdr &message, int level, int type, const Info &info)
{
    message.msg_controllen = CMSG_SPACE(sizeof(Info));
    cmsghdr *header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = level;
    header->cmsg_type = type;
    header->cmsg_len = CMSG_LEN(sizeof(Info));
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
}

// Sends the datagram with from as its source address, which a socket bound to an any-address would otherwise choose
// by the route. False when the addresses are not of one family (the caller then sends it the plain way); a failed
// send counts as sent, as a lost datagram would.
bool sendFrom(int fd, const QByteArray &bytes, const QHostAddress &address, quint16 port, const QHostAddress &from)
{
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in6_pktinfo))] = {};
    msghdr message = {};
    message.msg_control = control;
    if (from.protocol() == QAbstractSocket::IPv4Protocol && address.protocol() == QAbstractSocket::IPv4Protocol) {
        in_pktinfo info = {};
        info.ipi_spec_dst.s_addr = qToBigEndian(from.toIPv4Address());
        setPacketInfo(message, IPPROTO_IP, IP_PKTINFO, info);
    } else if (from.protocol() == QAbstractSocket::IPv6Protocol
        && address.protocol() == QAbstractSocket::IPv6Protocol) {
        in6_pktinfo info = {};
        const Q_IPV6ADDR fromBytes = from.toIPv6Address();
        std::memcpy(&info.ipi6_addr, &fromBytes, sizeof fromBytes);
        setPacketInfo(message, IPPROTO_IPV6, IPV6_PKTINFO, info);
    } else {
        return false;
    }
    sockaddr_storage to = {};
    iovec part = { const_cast<char *>(bytes.constData()), size_t(bytes.size()) };
    message.msg_name = &to;
    message.msg_namelen = socketAddress(address, port, &to);
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    while (::sendmsg(fd, &message, MSG_NOSIGNAL) < 0 && errno == EINTR) { }
    return true;
}

} // namespace

struct UdpForwarder::Batch
{
    Batch()
        : bytes(BatchSize * MaxDatagramSize, Qt::Uninitialized)
    { }

    // Read anew: the names' room and the parts.
    void prepare()
    {
        for (int i = 0; i < BatchSize; ++i) {
            parts[i] = { bytes.data() + qsizetype(i) * MaxDatagramSize, size_t(MaxDatagramSize) };
            headers[i] = {};
            headers[i].msg_hdr.msg_name = &names[i];
            headers[i].msg_hdr.msg_namelen = sizeof names[i];
            headers[i].msg_hdr.msg_iov = &parts[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        count = 0;
        next = 0;
    }

    // The sender of a datagram, as an address object made again only when it differs from the last one's: a
    // client that asks again and again costs no new one.
    const QHostAddress &sender(const sockaddr_storage &name, quint16 *port)
    {
        if (name.ss_family == AF_INET) {
            const auto &v4 = reinterpret_cast<const sockaddr_in &>(name);
            *port = qFromBigEndian(v4.sin_port);
            if (lastFamily != AF_INET || std::memcmp(&lastAddress, &v4.sin_addr, sizeof v4.sin_addr) != 0) {
                lastSender = QHostAddress(qFromBigEndian(v4.sin_addr.s_addr));
                std::memcpy(&lastAddress, &v4.sin_addr, sizeof v4.sin_addr);
            }
        } else {
            const auto &v6 = reinterpret_cast<const sockaddr_in6 &>(name);
            *port = qFromBigEndian(v6.sin6_port);
            if (lastFamily != AF_INET6 || std::memcmp(&lastAddress, &v6.sin6_addr, sizeof v6.sin6_addr) != 0) {
                lastSender = QHostAddress(reinterpret_cast<const sockaddr *>(&v6));
                std::memcpy(&lastAddress, &v6.sin6_addr, sizeof v6.sin6_addr);
            }
        }
        lastFamily = name.ss_family;
        return lastSender;
    }

    QByteArray bytes;
    mmsghdr headers[BatchSize];
    iovec parts[BatchSize];
    sockaddr_storage names[BatchSize];
    int count = 0;
    int next = 0;
    QHostAddress lastSender;
    in6_addr lastAddress = {};
    sa_family_t lastFamily = AF_UNSPEC;
};

struct UdpForwarder::Pending final : UdpSocketPool::Waiter
{
    Pending(UdpForwarder *owningForwarder, Packet &&message, const QHostAddress &client, const QHostAddress &from)
        : forwarder(owningForwarder)
        , request(std::move(message))
        , address(client)
        , destination(from)
    { }

    bool offer(Packet &message) override { return forwarder->offered(*this, message); }

    UdpForwarder *forwarder = nullptr;
    std::list<Pending>::iterator self;
    QPointer<UdpSocketPool> pool;
    UdpSocketPool::Ticket ticket;
    // As sent upstream: record appended, upstream ID.
    Packet request;
    QHostAddress address;
    QHostAddress destination;
    qint64 owner = -1;
    // In its user's share: from a successful send on.
    bool shared = false;
    Pending *olderOfOwner = nullptr;
    Pending *newerOfOwner = nullptr;
    qint64 deadline = 0;
    quint16 port = 0;
    quint16 clientId = 0;
};

UdpForwarder::UdpForwarder(QUdpSocket *socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_buffer(MaxDatagramSize, Qt::Uninitialized)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &UdpForwarder::expire);
    if (socket && socket->state() == QAbstractSocket::BoundState)
        socketBound();
}

void UdpForwarder::socketBound()
{
    m_anyAddress = m_socket && isAnyAddress(m_socket->localAddress());
    // What was read before belongs to the socket's last binding.
    if (m_batch)
        m_batch->count = m_batch->next = 0;
}

int UdpForwarder::pendingCount(qint64 owner) const
{
    const auto found = m_shares.constFind(owner);
    return found == m_shares.constEnd() ? 0 : found->count;
}

UdpForwarder::~UdpForwarder()
{
    for (Pending &pending : m_pending) {
        if (pending.pool)
            pending.pool->cancel(&pending.ticket);
    }
}

bool UdpForwarder::receive(Packet *datagram, QHostAddress *sender, quint16 *port, QHostAddress *destination)
{
    if (!m_socket)
        return false;
    // Cleared only when set: a fresh null address would be one more object per datagram.
    if (destination && !destination->isNull())
        destination->clear();
    if (m_anyAddress) {
        // A client drops an answer that comes from another address than the one it asked, so the answer must leave
        // from where the request came in; only the slower path of whole datagrams tells that address.
        const QNetworkDatagram received = m_socket->receiveDatagram();
        if (!received.isValid())
            return false;
        QByteArray bytes;
        bytes.reserve(received.data().size() + Packet::IdentificationRecordSize);
        bytes.append(received.data());
        *datagram = Packet(bytes);
        *sender = received.senderAddress();
        *port = quint16(received.senderPort());
        if (destination)
            *destination = received.destinationAddress();
        return true;
    }
    // Read until nothing is left rather than asking first, which would cost a system call per datagram; many at a
    // time where they wait together.
    if (!m_batch) {
        m_batch = std::make_unique<Batch>();
        m_batch->prepare();
    }
    Batch &batch = *m_batch;
    if (batch.next >= batch.count) {
        batch.prepare();
        int got;
        do {
            got = ::recvmmsg(int(m_socket->socketDescriptor()), batch.headers, BatchSize, MSG_DONTWAIT, nullptr);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            // Nothing waits, as the socket's own read finds too; that read also has the socket tell of the next
            // datagram, which it holds back until its owner has read. The read that finds nothing reports a
            // temporary error, which nothing here acts on.
            const qint64 size = m_socket->readDatagram(m_buffer.data(), m_buffer.size(), sender, port);
            if (size < 0)
                return false;
            QByteArray bytes;
            bytes.reserve(size + Packet::IdentificationRecordSize);
            bytes.append(m_buffer.constData(), size);
            *datagram = Packet(bytes);
            return true;
        }
        batch.count = got;
    }
    const int index = batch.next++;
    const qsizetype size = qsizetype(batch.headers[index].msg_len);
    // With room for the identification record, so appending it does not move the bytes again.
    QByteArray bytes;
    bytes.reserve(size + Packet::IdentificationRecordSize);
    bytes.append(static_cast<const char *>(batch.parts[index].iov_base), size);
    *datagram = Packet(bytes);
    *sender = batch.sender(batch.names[index], port);
    return true;
}

void UdpForwarder::forward(const QHostAddress &address, quint16 port, Packet request, quint32 token,
    UdpSocketPool *pool, bool upstreamIsSelf, const QHostAddress &destination, qint64 owner)
{
    const quint16 clientId = request.id();
    // Asked only while something is remembered, so the usual path pays nothing for it.
    if (!m_unanswered.isEmpty() && recentlyUnanswered(questionKey(request, owner))) {
        answer(address, port, destination,
            DNSProxyRequest::errorAnswer(request, clientId, Packet::ServerFailure).rawData());
        return;
    }
    const int rcode = DNSProxyRequest::prepare(request, token, upstreamIsSelf);
    if (rcode != Packet::NoError) {
        answer(address, port, destination, DNSProxyRequest::errorAnswer(request, clientId, rcode).rawData());
        return;
    }
    makeRoom(owner);
    // A record that went before is used again, so a request costs no new one.
    if (m_spare.empty()) {
        m_pending.emplace_back(this, std::move(request), address, destination);
    } else {
        m_pending.splice(m_pending.end(), m_spare, m_spare.begin());
        // Whole, so nothing of the request before is left in it.
        m_pending.back() = Pending(this, std::move(request), address, destination);
    }
    Pending &pending = m_pending.back();
    pending.self = std::prev(m_pending.end());
    pending.port = port;
    pending.clientId = clientId;
    pending.deadline = now() + Deadline;
    Error error;
    bool sent = pool && pool->send(pending.request, &pending, &pending.ticket, &error, owner);
    // Every socket to the server is taken: the user whose queries wait on the most of them gives up his oldest until
    // one of his sockets is free, and the query is tried again.
    while (!sent && pool && pool->socketCount() >= UdpSocketPool::MaxSockets) {
        const qint64 holder = pool->largestSocketHolder();
        const int held = pool->socketsHeldBy(holder);
        const auto share = m_shares.constFind(holder);
        if (held == 0 || share == m_shares.constEnd())
            break;
        while (pool->socketsHeldBy(holder) == held && m_shares.contains(holder))
            evict(*m_shares.value(holder).oldest);
        sent = pool->send(pending.request, &pending, &pending.ticket, &error, owner);
    }
    if (!sent) {
        answer(address, port, destination,
            DNSProxyRequest::errorAnswer(pending.request, clientId, Packet::ServerFailure).rawData());
        m_spare.splice(m_spare.begin(), m_pending, pending.self);
        return;
    }
    pending.pool = pool;
    pending.owner = owner;
    pending.shared = true;
    Share &share = m_shares[owner];
    pending.olderOfOwner = share.newest;
    if (share.newest)
        share.newest->newerOfOwner = &pending;
    else
        share.oldest = &pending;
    share.newest = &pending;
    ++share.count;
    if (!m_timer.isActive())
        arm();
}

void UdpForwarder::makeRoom(qint64 owner)
{
    const auto own = m_shares.constFind(owner);
    if (own != m_shares.constEnd() && own->count >= MaxWaitingPerUser) {
        evict(*own->oldest);
        return;
    }
    if (int(m_pending.size()) < MaxWaiting)
        return;
    // Full: the user who holds the most gives up his oldest. The users are few, whatever each of them holds.
    auto largest = m_shares.constBegin();
    for (auto it = m_shares.constBegin(); it != m_shares.constEnd(); ++it) {
        if (it->count > largest->count)
            largest = it;
    }
    if (largest != m_shares.constEnd())
        evict(*largest->oldest);
}

void UdpForwarder::evict(Pending &pending)
{
    if (pending.pool)
        pending.pool->cancel(&pending.ticket);
    answer(pending.address, pending.port, pending.destination,
        DNSProxyRequest::errorAnswer(pending.request, pending.clientId, Packet::ServerFailure).rawData());
    erase(pending);
}

void UdpForwarder::erase(Pending &pending)
{
    if (pending.shared) {
        auto found = m_shares.find(pending.owner);
        if (found != m_shares.end()) {
            Share &share = found.value();
            (pending.olderOfOwner ? pending.olderOfOwner->newerOfOwner : share.oldest) = pending.newerOfOwner;
            (pending.newerOfOwner ? pending.newerOfOwner->olderOfOwner : share.newest) = pending.olderOfOwner;
            if (--share.count == 0)
                m_shares.erase(found);
        }
    }
    if (int(m_spare.size()) < MaxSpare)
        m_spare.splice(m_spare.begin(), m_pending, pending.self);
    else
        m_pending.erase(pending.self);
}

QByteArray UdpForwarder::questionKey(const Packet &request, qint64 owner)
{
    // Only a request of one question, as resolvers ask, is remembered: another holds as many names as its sender
    // packs into a datagram, and a key of them all would cost what the sender chose.
    if (request.questionCount() != 1)
        return QByteArray();
    const QList<QSharedPointer<Question>> questions = request.questions();
    if (questions.size() != 1)
        return QByteArray();
    const Question &question = *questions.first();
    return QByteArray::number(owner) + ' ' + question.name.toLower() + ' ' + QByteArray::number(question.type) + ' '
        + QByteArray::number(question.qclass);
}

bool UdpForwarder::recentlyUnanswered(const QByteArray &key)
{
    const qint64 time = now();
    while (!m_unansweredOrder.empty()) {
        const auto found = m_unanswered.constFind(m_unansweredOrder.front());
        if (found != m_unanswered.constEnd() && found.value() > time)
            break;
        if (found != m_unanswered.constEnd())
            m_unanswered.erase(found);
        m_unansweredOrder.pop_front();
    }
    return m_unanswered.contains(key);
}

void UdpForwarder::rememberUnanswered(const Packet &request, qint64 owner)
{
    const QByteArray key = questionKey(request, owner);
    if (key.isEmpty() || m_unanswered.contains(key))
        return;
    if (int(m_unanswered.size()) >= MaxUnanswered) {
        m_unanswered.remove(m_unansweredOrder.front());
        m_unansweredOrder.pop_front();
    }
    m_unanswered.insert(key, now() + UnansweredMemory);
    m_unansweredOrder.push_back(key);
}

void UdpForwarder::expire()
{
    const qint64 time = now();
    while (!m_pending.empty() && m_pending.front().deadline < time) {
        Pending &pending = m_pending.front();
        if (pending.pool)
            pending.pool->cancel(&pending.ticket);
        answer(pending.address, pending.port, pending.destination,
            DNSProxyRequest::errorAnswer(pending.request, pending.clientId, Packet::ServerFailure).rawData());
        rememberUnanswered(pending.request, pending.owner);
        erase(pending);
    }
    arm();
}

bool UdpForwarder::offered(Pending &pending, Packet &message)
{
    if (!message.isResponseTo(pending.request))
        return false;
    message.setId(pending.clientId);
    answer(pending.address, pending.port, pending.destination, message.rawData());
    // The pool forgets the ticket itself.
    erase(pending);
    return true;
}

void UdpForwarder::answer(const QHostAddress &address, quint16 port, const QHostAddress &from, const QByteArray &bytes)
{
    // After the proxy's stop: a closed socket would bind itself anew to some port and answer from there.
    if (!m_socket || m_socket->state() != QAbstractSocket::BoundState)
        return;
    const int fd = int(m_socket->socketDescriptor());
    if (!from.isNull() && sendFrom(fd, bytes, address, port, from))
        return;
    // Straight to the system: the socket's own write makes address objects of its own for every datagram.
    sockaddr_storage to = {};
    const socklen_t length = socketAddress(address, port, &to);
    if (length == 0)
        return;
    while (::sendto(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&to),
               length)
            < 0
        && errno == EINTR) { }
}

void UdpForwarder::arm()
{
    if (m_pending.empty()) {
        m_timer.stop();
        return;
    }
    // Just past the first deadline: a request ends once its deadline is behind it.
    m_timer.start(int(qBound<qint64>(0, m_pending.front().deadline - now() + 1, Deadline + 1)));
}

} // namespace DNS
} // namespace Velmor
