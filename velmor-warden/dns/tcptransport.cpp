#include "tcptransport.h"

#include "dnsclock.h"

#include <QPointer>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Velmor {
namespace DNS {

TcpTransport::TcpTransport(QObject *parent)
    : Transport(parent)
    , m_lastRead(now())
{ }

QHostAddress TcpTransport::peerAddress() const
{
    return m_socket ? m_socket->peerAddress() : QHostAddress();
}

quint16 TcpTransport::peerPort() const
{
    return m_socket ? m_socket->peerPort() : 0;
}

void TcpTransport::setSocket(QAbstractSocket *socket)
{
    m_socket = socket;
    socket->setParent(this);
    connect(socket, &QAbstractSocket::readyRead, this, &TcpTransport::socket_readyRead);
    connect(socket, &QAbstractSocket::errorOccurred, this, &TcpTransport::socket_error);
    connect(socket, &QAbstractSocket::disconnected, this, &TcpTransport::disconnected);
    connect(socket, &QAbstractSocket::disconnected, this, &TcpTransport::socket_disconnected);
}

void TcpTransport::socket_disconnected()
{
    deleteLater();
}

void TcpTransport::socket_readyRead()
{
    if (!m_socket || !acceptsMessages())
        return;
    m_lastRead = now();
    m_framer.append(m_socket->readAll());

    QPointer<TcpTransport> self(this);
    QByteArray bytes;
    while (acceptsMessages() && m_framer.next(bytes)) {
        if (!deliver(Packet(bytes))) {
            // A peer that sends something other than a DNS message is not spoken to any further.
            m_framer.clear();
            if (m_socket)
                m_socket->disconnectFromHost();
            return;
        }
        if (!self)
            return;
        messageOffered();
    }
}

bool TcpTransport::write(Packet &message)
{
    m_lastId = message.id();
    return send(message);
}

bool TcpTransport::send(const Packet &message)
{
    const QByteArray bytes = message.toByteArray();
    const QByteArray framed = TcpFramer::frame(bytes);
    if (framed.isEmpty() || !m_socket || m_socket->write(framed) != framed.size()) {
        const QString reason = framed.isEmpty() ? QStringLiteral("message longer than 65535 bytes")
            : m_socket                          ? m_socket->errorString()
                                                : QStringLiteral("no connection");
        qWarning("failed to write to socket %s:%d error: %s", qPrintable(peerAddress().toString()), peerPort(),
            qPrintable(reason));
        return false;
    }
    return true;
}

TcpServerTransport::TcpServerTransport(QAbstractSocket *accepted, QObject *parent)
    : TcpTransport(parent)
{
    // Bounded, so that a client whose requests wait is held back by TCP instead of filling memory.
    accepted->setReadBufferSize(64 * 1024);
    setSocket(accepted);
    if (accepted->bytesAvailable() > 0)
        socket_readyRead();
}

TcpServerTransport::~TcpServerTransport()
{
    if (m_spare >= 0)
        ::close(m_spare);
}

bool TcpServerTransport::write(Packet &message)
{
    if (!m_halfClosed) {
        const bool sent = TcpTransport::write(message);
        // Out now rather than from the event loop: the socket drops what it still holds once the client's end closes.
        if (sent && m_socket)
            m_socket->flush();
        return sent;
    }
    m_lastId = message.id();
    const QByteArray framed = TcpFramer::frame(message.toByteArray());
    // The answers of a closing client are few (its requests in flight); one that does not go out whole at once ends
    // the connection rather than waiting on a client that does not read.
    const ssize_t sent = framed.isEmpty() || m_spare < 0
        ? -1
        : ::send(m_spare, framed.constData(), size_t(framed.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent == framed.size())
        return true;
    if (m_spare >= 0)
        ::close(m_spare);
    m_spare = -1;
    deleteLater();
    return false;
}

void TcpServerTransport::beginRequest()
{
    // The socket gives up its descriptor as soon as the client's end closes; a second one keeps the connection for
    // the answers of the requests in flight.
    if (m_inFlight++ == 0 && m_spare < 0 && m_socket && m_socket->socketDescriptor() >= 0)
        m_spare = ::fcntl(int(m_socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
}

void TcpServerTransport::release()
{
    const bool wasHeld = !acceptsMessages();
    if (m_inFlight > 0)
        --m_inFlight;
    // The connection's idle time counts from its last answer as well.
    m_lastRead = now();
    Q_EMIT released();
    if (wasHeld && acceptsMessages()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                socket_readyRead();
                settle();
            },
            Qt::QueuedConnection);
    } else {
        settle();
    }
}

void TcpServerTransport::socket_disconnected()
{
    // Only a client that closed just its sending side waits for answers; one that reset the connection is gone.
    tcp_info info = {};
    socklen_t length = sizeof info;
    const bool waiting = m_inFlight > 0 && m_spare >= 0
        && ::getsockopt(m_spare, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 && info.tcpi_state == TCP_CLOSE_WAIT;
    if (waiting)
        m_halfClosed = true;
    else
        deleteLater();
}

void TcpServerTransport::settle()
{
    if (m_inFlight > 0 || !m_received.isEmpty())
        return;
    if (m_halfClosed) {
        deleteLater();
    } else if (m_spare >= 0) {
        ::close(m_spare);
        m_spare = -1;
    }
}

bool TcpServerTransport::acceptsMessages() const
{
    return m_inFlight + m_received.size() < MaxInFlight;
}

} // namespace DNS
} // namespace Velmor
