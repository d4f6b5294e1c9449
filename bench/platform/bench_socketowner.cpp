// What it costs to find the user of an accepted local connection, with 400 and with 20,000 sockets in the kernel's
// TCP table: the exact look-up by the address pair beside a scan of /proc/net/tcp (the way it was found before),
// both in the same run. Run as root it works in a network namespace of its own, so other programs' sockets do not
// count; otherwise the machine's own table comes on top.

#include "platform/socketowner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QtEndian>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The peer: the whole table read line by line until the pair is found.
qint64 scanOwner(const QHostAddress &address, quint16 port, const QHostAddress &peer, quint16 peerPort)
{
    const auto endpoint = [](const QHostAddress &a, quint16 p) {
        quint32 host = 0;
        const quint32 network = qToBigEndian(a.toIPv4Address());
        std::memcpy(&host, &network, sizeof host);
        return QByteArray::number(host, 16).toUpper().rightJustified(8, '0') + ':'
            + QByteArray::number(p, 16).toUpper().rightJustified(4, '0');
    };
    const QByteArray local = endpoint(address, port);
    const QByteArray remote = endpoint(peer, peerPort);
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    table.readLine();
    for (QByteArray line = table.readLine(); !line.isEmpty(); line = table.readLine()) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && fields.at(1) == local && fields.at(2) == remote)
            return fields.at(7).toLongLong();
    }
    return -1;
}

int tableSize()
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    return int(table.readAll().count('\n')) - 1;
}

bool ownNamespace()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request = {};
    std::strcpy(request.ifr_name, "lo");
    const bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0
        && (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    ::close(fd);
    return up;
}

struct Listener
{
    int fd = -1;
    sockaddr_in address = {};
};

Listener listenOn()
{
    Listener listener;
    listener.fd = ::socket(AF_INET, SOCK_STREAM, 0);
    listener.address.sin_family = AF_INET;
    listener.address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof listener.address;
    if (::bind(listener.fd, reinterpret_cast<sockaddr *>(&listener.address), length) != 0
        || ::listen(listener.fd, 4096) != 0
        || ::getsockname(listener.fd, reinterpret_cast<sockaddr *>(&listener.address), &length) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    return listener;
}

// Connections left in their listeners' queues: each puts two sockets in the table for one descriptor here.
void fillTable(int target, std::vector<Listener> &listeners, std::vector<int> &clients, int &queued)
{
    for (int size = tableSize(); size < target; size = tableSize()) {
        for (int i = 0; i < (target - size + 1) / 2; ++i) {
            if (listeners.empty() || queued >= 4000) {
                listeners.push_back(listenOn());
                queued = 0;
            }
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            if (fd < 0
                || ::connect(fd, reinterpret_cast<sockaddr *>(&listeners.back().address), sizeof(sockaddr_in)) != 0) {
                std::perror("connect");
                std::exit(1);
            }
            clients.push_back(fd);
            ++queued;
        }
    }
}

struct Figures
{
    double lookupMicroseconds;
    double scanMicroseconds;
};

Figures measure()
{
    // One accepted connection, as the service holds it.
    const Listener listener = listenOn();
    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(client, reinterpret_cast<const sockaddr *>(&listener.address), sizeof(sockaddr_in));
    sockaddr_in peer = {};
    socklen_t length = sizeof peer;
    const int accepted = ::accept(listener.fd, reinterpret_cast<sockaddr *>(&peer), &length);
    const QHostAddress peerAddress(qFromBigEndian(peer.sin_addr.s_addr));
    const QHostAddress localAddress(qFromBigEndian(listener.address.sin_addr.s_addr));
    const quint16 peerPort = qFromBigEndian(peer.sin_port);
    const quint16 localPort = qFromBigEndian(listener.address.sin_port);
    const qint64 user = qint64(::geteuid());

    Figures figures = {};
    QElapsedTimer timer;
    const int lookups = 20000;
    timer.start();
    for (int i = 0; i < lookups; ++i) {
        if (Velmor::Platform::tcpSocketOwner(peerAddress, peerPort, localAddress, localPort) != user) {
            std::fprintf(stderr, "the look-up did not find the connection\n");
            std::exit(1);
        }
    }
    figures.lookupMicroseconds = double(timer.nsecsElapsed()) / 1000.0 / lookups;
    int scans = 0;
    timer.start();
    while (scans < 5 || (timer.elapsed() < 1000 && scans < 2000)) {
        if (scanOwner(peerAddress, peerPort, localAddress, localPort) != user) {
            std::fprintf(stderr, "the scan did not find the connection\n");
            std::exit(1);
        }
        ++scans;
    }
    figures.scanMicroseconds = double(timer.nsecsElapsed()) / 1000.0 / scans;
    ::close(accepted);
    ::close(client);
    ::close(listener.fd);
    return figures;
}

} // namespace

int main()
{
    rlimit limit = {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    const bool isolated = ownNamespace();
    std::printf("the owner of an accepted connection (%s)\n",
        isolated ? "a network namespace of its own" : "the machine's table, other programs' sockets included");
    std::printf("  %-12s %16s %22s %16s\n", "table", "exact look-up", "scan of /proc/net/tcp", "scan / look-up");
    std::vector<Listener> listeners;
    std::vector<int> clients;
    int queued = 0;
    double first = 0;
    for (const int target : { 400, 20000 }) {
        fillTable(target, listeners, clients, queued);
        const int size = tableSize();
        const Figures figures = measure();
        std::printf("  %6d lines %13.2f us %19.1f us %13.0fx\n", size, figures.lookupMicroseconds,
            figures.scanMicroseconds, figures.scanMicroseconds / figures.lookupMicroseconds);
        if (first == 0)
            first = figures.lookupMicroseconds;
        else
            std::printf("  look-up at %d lines / at 400: %.2f\n", size, figures.lookupMicroseconds / first);
    }
    for (const int fd : clients)
        ::close(fd);
    for (const Listener &listener : listeners)
        ::close(listener.fd);
    return 0;
}
