#include "ipcserver.h"

#include "platform/socketowner.h"
#include "velmorwire/ipcport.h"
#include "velmorwire/localsocketipcconnection.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Velmor {

IpcServer::IpcServer(QObject *parent)
    : QObject(parent)
{
    m_retryTimer.setInterval(listenRetryMs);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        if (listen())
            m_retryTimer.stop();
    });
    m_acceptPause.setSingleShot(true);
    m_acceptPause.setInterval(acceptPauseMs);
    connect(&m_acceptPause, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
    });
}

IpcServer::~IpcServer()
{
    closeListener();
}

QList<IpcConnection *> IpcServer::connections() const
{
    QList<IpcConnection *> live;
    live.reserve(m_connections.size());
    for (const QPointer<IpcConnection> &connection : m_connections) {
        if (connection)
            live.append(connection);
    }
    return live;
}

bool IpcServer::start()
{
    if (isListening() || m_retryTimer.isActive())
        return true;
    if (listen())
        return true;
    // The service goes on protecting DNS without the desktop programs until the port is free.
    qCritical("the desktop programs' link cannot listen on 127.0.0.1:%u (VELMOR_IPC_PORT): %s; trying again every "
              "%d s",
        ipcPort(), qPrintable(m_lastError.message()), listenRetryMs / 1000);
    m_retryTimer.start();
    return true;
}

bool IpcServer::listen()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(ipcPort());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
        m_lastError = Error(Error::GeneralFailure, qt_error_string(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_listener = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &IpcServer::listener_activated);
    m_lastError = Error();
    return true;
}

bool IpcServer::stop()
{
    m_retryTimer.stop();
    closeListener();
    return true;
}

void IpcServer::closeListener()
{
    m_acceptPause.stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

bool IpcServer::isListening() const
{
    return m_listener >= 0;
}

quint16 IpcServer::serverPort() const
{
    sockaddr_in address = {};
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

void IpcServer::listener_activated()
{
    forever {
        const int descriptor = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor >= 0) {
            m_acceptFailing = false;
            accept(descriptor);
            // A connection's handler may have stopped the server.
            if (m_listener < 0)
                return;
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        // Out of descriptors, for one: the listener stays readable, and trying again at once would only spin.
        if (!m_acceptFailing)
            qWarning("the desktop programs' link cannot accept a connection: %s", qPrintable(qt_error_string(errno)));
        m_acceptFailing = true;
        m_notifier->setEnabled(false);
        m_acceptPause.start();
        return;
    }
}

void IpcServer::accept(int descriptor)
{
    auto *socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        delete socket;
        return;
    }
    qint64 owner = Platform::tcpSocketOwner(
        socket->peerAddress(), socket->peerPort(), socket->localAddress(), socket->localPort());
    if (owner < 0)
        owner = unknownOwner;
    const int share = owner == unknownOwner ? maximumUnknownConnections : maximumConnectionsPerUser;
    // Connections accepted in one go may include some whose peer has gone since: they make room first.
    if (m_ownerConnections.value(owner) >= share)
        dropGone(owner, false);
    if (m_peers.size() >= maximumConnections)
        dropGone(owner, true);
    const bool full = m_peers.size() >= maximumConnections;
    if (full || m_ownerConnections.value(owner) >= share) {
        // The newest goes: a flood cannot push out the links already there. Said once until this user is let in
        // again.
        if (!m_refusing.contains(owner)) {
            m_refusing.insert(owner);
            const char *why
                = full ? "the service has the most connections it takes" : "that user has the most connections it may";
            if (owner == unknownOwner)
                qWarning("the desktop programs' link refuses connections whose peer is gone: %s", why);
            else
                qWarning("the desktop programs' link refuses connections of user %lld: %s", owner, why);
        }
        socket->abort();
        delete socket;
        return;
    }
    m_refusing.remove(owner);
    auto *connection = new LocalSocketIpcConnection(socket, this);
    connection->setPeerOwner(owner);
    m_connections.append(connection);
    m_peers.insert(connection, { owner, socket });
    ++m_ownerConnections[owner];
    connect(connection, &IpcConnection::disconnected, this, &IpcServer::connectionDisconnected);
    connect(connection, &QObject::destroyed, this, [this, connection] { forget(connection); });
    Q_EMIT newConnection(connection);
}

qint64 IpcServer::owner(const IpcConnection *connection) const
{
    return m_peers.value(connection, { unknownOwner, nullptr }).owner;
}

void IpcServer::dropGone(qint64 owner, bool allOwners)
{
    QList<QPointer<QTcpSocket>> gone;
    for (auto it = m_peers.cbegin(); it != m_peers.cend(); ++it) {
        if ((!allOwners && it.value().owner != owner) || !it.value().socket)
            continue;
        pollfd peer = { int(it.value().socket->socketDescriptor()), POLLRDHUP, 0 };
        if (peer.fd >= 0 && ::poll(&peer, 1, 0) == 1 && (peer.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
            gone.append(it.value().socket);
    }
    // Each abort reports the link lost, which takes the connection out of the tables at once.
    for (const QPointer<QTcpSocket> &socket : std::as_const(gone)) {
        if (socket)
            socket->abort();
    }
}

void IpcServer::forget(IpcConnection *connection)
{
    const auto peer = m_peers.constFind(connection);
    if (peer == m_peers.cend())
        return;
    auto count = m_ownerConnections.find(peer.value().owner);
    if (--count.value() <= 0)
        m_ownerConnections.erase(count);
    m_peers.erase(peer);
}

void IpcServer::connectionDisconnected()
{
    auto *connection = qobject_cast<IpcConnection *>(sender());
    if (!connection || !m_connections.removeOne(connection))
        return;
    forget(connection);
    connection->deleteLater();
    m_connections.removeAll(nullptr);
}

} // namespace Velmor
