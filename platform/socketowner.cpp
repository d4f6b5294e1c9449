#include "socketowner.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

// Writes an address as the socket-diagnostics request holds it: four network-order words, the first alone for IPv4.
void putAddress(const QHostAddress &address, int family, __be32 *words)
{
    if (family == AF_INET) {
        words[0] = qToBigEndian(address.toIPv4Address());
        return;
    }
    // An IPv4 address becomes its mapped IPv6 form, as a dual-stack socket holds it.
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(words, &bytes, sizeof bytes);
}

// Asks the kernel for the one socket of the protocol whose local end is local:localPort and whose peer is remote (for
// UDP: that a datagram from remote would reach). -1 when it finds none, or a TCP socket that is not connected.
qint64 socketOwner(
    int protocol, const QHostAddress &local, quint16 localPort, const QHostAddress &remote, quint16 remotePort)
{
    if (local.isNull() || remote.isNull())
        return -1;
    const bool v4
        = local.protocol() == QAbstractSocket::IPv4Protocol && remote.protocol() == QAbstractSocket::IPv4Protocol;
    const int family = v4 ? AF_INET : AF_INET6;

    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 body;
    } request = {};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    // No dump flag: the kernel looks the socket up in its hash tables rather than walking them.
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.body.sdiag_family = quint8(family);
    request.body.sdiag_protocol = quint8(protocol);
    request.body.idiag_states = ~0U;
    inet_diag_sockid &id = request.body.id;
    id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    // For UDP the kernel reads the pair as a datagram's source and destination and finds the socket that would
    // receive it: the socket's own end comes second.
    const bool swapped = protocol == IPPROTO_UDP;
    id.idiag_sport = qToBigEndian(swapped ? remotePort : localPort);
    id.idiag_dport = qToBigEndian(swapped ? localPort : remotePort);
    putAddress(swapped ? remote : local, family, id.idiag_src);
    putAddress(swapped ? local : remote, family, id.idiag_dst);

    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return -1;
    sockaddr_nl kernel = {};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = ::sendto(fd, &request, sizeof request, 0, reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    if (sent != ssize_t(sizeof request)) {
        ::close(fd);
        return -1;
    }
    // The kernel answers within the send: one message with the socket, or an error.
    alignas(nlmsghdr) char buffer[1024];
    ssize_t size;
    do {
        size = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    } while (size < 0 && errno == EINTR);
    ::close(fd);
    if (size < 0)
        return -1;
    const auto *header = reinterpret_cast<const nlmsghdr *>(buffer);
    int length = int(size);
    if (!NLMSG_OK(header, length) || header->nlmsg_type != SOCK_DIAG_BY_FAMILY
        || header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
        return -1;
    const auto *socket = static_cast<const inet_diag_msg *>(NLMSG_DATA(header));
    // A closing TCP socket (the peer went before it was looked up) shows user 0 once it waits out its time.
    if (protocol == IPPROTO_TCP && socket->idiag_state != TCP_ESTABLISHED)
        return -1;
    return qint64(socket->idiag_uid);
}

} // namespace

qint64 tcpSocketOwner(const QHostAddress &address, quint16 port, const QHostAddress &peer, quint16 peerPort)
{
    return socketOwner(IPPROTO_TCP, address, port, peer, peerPort);
}

qint64 udpSocketOwner(const QHostAddress &address, quint16 port, const QHostAddress &peer, quint16 peerPort)
{
    return socketOwner(IPPROTO_UDP, address, port, peer, peerPort);
}

} // namespace Platform
} // namespace Velmor
