#include "ipcserver.h"

#include "platform/socketowner.h"
#include "velmorwire/ipcport.h"
#include "velmorwire/localsocketipcconnection.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
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
    const qint64 owner = Platform::tcpSocketOwner(
        socket->peerAddress(), socket->peerPort(), socket->localAddress(), socket->localPort());
    int ownerConnections = 0;
    for (auto it = m_owners.cbegin(); it != m_owners.cend(); ++it)
        ownerConnections += it.value() == owner ? 1 : 0;
    const bool full = m_owners.size() >= maximumConnections;
    if (full || ownerConnections >= maximumConnectionsPerUser) {
        // The newest goes: a flood cannot push out the links already there. Said once until this user is let in
        // again.
        if (!m_refusing.contains(owner)) {
            m_refusing.insert(owner);
            qWarning("the desktop programs' link refuses connections of user %lld: %s", owner,
                full ? "the service has the most connections it takes" : "that user has the most connections it may");
        }
        socket->abort();
        delete socket;
        return;
    }
    m_refusing.remove(owner);
    auto *connection = new LocalSocketIpcConnection(socket, this);
    m_connections.append(connection);
    m_owners.insert(connection, owner);
    connect(connection, &IpcConnection::disconnected, this, &IpcServer::connectionDisconnected);
    connect(connection, &QObject::destroyed, this, [this, connection] { m_owners.remove(connection); });
    Q_EMIT newConnection(connection);
}

void IpcServer::connectionDisconnected()
{
    auto *connection = qobject_cast<IpcConnection *>(sender());
    if (!connection || !m_connections.removeOne(connection))
        return;
    m_owners.remove(connection);
    connection->deleteLater();
    m_connections.removeAll(nullptr);
}

} // namespace Velmor
