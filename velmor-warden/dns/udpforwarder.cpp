#include "udpforwarder.h"

#include "dnsclock.h"
#include "dnsproxyrequest.h"
#include "query.h"
#include "transport.h"
#include "udpsocketpool.h"

#include <QUdpSocket>

namespace Velmor {
namespace DNS {

namespace {

const qint64 Deadline = qint64(Query::UdpTimeout) * 1000;
// The largest UDP payload.
const int MaxDatagramSize = 65536;

} // namespace

struct UdpForwarder::Pending final : UdpSocketPool::Waiter
{
    bool offer(Packet &message) override { return forwarder->offered(*this, message); }

    UdpForwarder *forwarder = nullptr;
    std::list<Pending>::iterator self;
    QPointer<UdpSocketPool> pool;
    UdpSocketPool::Ticket ticket;
    // As sent upstream: record appended, upstream ID.
    Packet request;
    QHostAddress address;
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
}

UdpForwarder::~UdpForwarder()
{
    for (Pending &pending : m_pending) {
        if (pending.pool)
            pending.pool->cancel(&pending.ticket);
    }
}

bool UdpForwarder::receive(Packet *datagram, QHostAddress *sender, quint16 *port)
{
    if (!m_socket)
        return false;
    // Read until nothing is left rather than asking first, which would cost a system call per datagram; the read that
    // finds nothing reports a temporary error, which nothing here acts on.
    const qint64 size = m_socket->readDatagram(m_buffer.data(), m_buffer.size(), sender, port);
    if (size < 0)
        return false;
    // With room for the identification record, so appending it does not move the bytes again.
    QByteArray bytes;
    bytes.reserve(size + Packet::IdentificationRecordSize);
    bytes.append(m_buffer.constData(), size);
    *datagram = Packet(bytes);
    return true;
}

void UdpForwarder::forward(
    const QHostAddress &address, quint16 port, Packet request, quint32 token, UdpSocketPool *pool, bool upstreamIsSelf)
{
    const quint16 clientId = request.id();
    const int rcode = DNSProxyRequest::prepare(request, token, upstreamIsSelf);
    if (rcode != Packet::NoError) {
        answer(address, port, DNSProxyRequest::errorAnswer(request, clientId, rcode).rawData());
        return;
    }
    Pending &pending = m_pending.emplace_back();
    pending.forwarder = this;
    pending.self = std::prev(m_pending.end());
    pending.request = std::move(request);
    pending.address = address;
    pending.port = port;
    pending.clientId = clientId;
    pending.deadline = now() + Deadline;
    Error error;
    if (!pool || !pool->send(pending.request, &pending, &pending.ticket, &error)) {
        answer(address, port, DNSProxyRequest::errorAnswer(pending.request, clientId, Packet::ServerFailure).rawData());
        m_pending.pop_back();
        return;
    }
    pending.pool = pool;
    if (!m_timer.isActive())
        arm();
}

void UdpForwarder::expire()
{
    const qint64 time = now();
    while (!m_pending.empty() && m_pending.front().deadline < time) {
        Pending &pending = m_pending.front();
        if (pending.pool)
            pending.pool->cancel(&pending.ticket);
        m_pending.pop_front();
    }
    arm();
}

bool UdpForwarder::offered(Pending &pending, Packet &message)
{
    if (!message.isResponseTo(pending.request))
        return false;
    message.setId(pending.clientId);
    answer(pending.address, pending.port, message.rawData());
    // The pool forgets the ticket itself.
    m_pending.erase(pending.self);
    return true;
}

void UdpForwarder::answer(const QHostAddress &address, quint16 port, const QByteArray &bytes)
{
    // After the proxy's stop: a closed socket would bind itself anew to some port and answer from there.
    if (!m_socket || m_socket->state() != QAbstractSocket::BoundState)
        return;
    m_socket->writeDatagram(bytes, address, port);
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
