#include "tcptransport.h"

#include "dnsclock.h"

#include <QPointer>

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
    connect(socket, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
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

void TcpServerTransport::beginRequest()
{
    ++m_inFlight;
}

void TcpServerTransport::release()
{
    const bool wasHeld = !acceptsMessages();
    if (m_inFlight > 0)
        --m_inFlight;
    // The connection's idle time counts from its last answer as well.
    m_lastRead = now();
    Q_EMIT released();
    if (wasHeld && acceptsMessages())
        QMetaObject::invokeMethod(this, &TcpServerTransport::socket_readyRead, Qt::QueuedConnection);
}

bool TcpServerTransport::acceptsMessages() const
{
    return m_inFlight + m_received.size() < MaxInFlight;
}

} // namespace DNS
} // namespace Velmor
