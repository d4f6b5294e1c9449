#include "udptransport.h"

#include "serversmanager.h"

#include <QNetworkProxy>
#include <QPointer>

#include <cerrno>
#include <sys/socket.h>

namespace Velmor {
namespace DNS {

namespace {

// False when the socket held an error instead of a datagram (a refused port); reading it clears the error.
bool readOneDatagram(QUdpSocket *socket, QByteArray *bytes, QHostAddress *sender, quint16 *port)
{
    const qint64 size = qMax<qint64>(socket->pendingDatagramSize(), 0);
    bytes->resize(size);
    const qint64 read = socket->readDatagram(bytes->data(), size, sender, port);
    if (read < 0)
        return false;
    bytes->truncate(read);
    return true;
}

} // namespace

UdpTransport::UdpTransport(QObject *parent)
    : Transport(parent)
{ }

void UdpTransport::release()
{
    deleteLater();
}

bool UdpTransport::write(Packet &message)
{
    m_lastId = message.id();
    // A closed socket would bind itself anew to some port and answer from there.
    if (!m_socket
        || (m_socket->state() != QAbstractSocket::BoundState && m_socket->state() != QAbstractSocket::ConnectedState)) {
        m_lastError = Error(1, QStringLiteral("The socket is closed"));
        return false;
    }
    const QByteArray bytes = message.toByteArray();
    const qint64 sent = m_socket->state() == QAbstractSocket::ConnectedState
        ? m_socket->write(bytes)
        : m_socket->writeDatagram(bytes, m_address, m_port);
    if (sent != bytes.size()) {
        m_lastError = Error(1, m_socket->errorString());
        return false;
    }
    return true;
}

UdpServerTransport::UdpServerTransport(QUdpSocket *proxySocket, QObject *parent)
    : UdpTransport(parent)
{
    m_socket = proxySocket;
    QByteArray bytes;
    if (proxySocket && proxySocket->hasPendingDatagrams() && readOneDatagram(proxySocket, &bytes, &m_address, &m_port))
        deliver(Packet(bytes));
}

UdpClientTransport::UdpClientTransport(const QHostAddress &address, quint16 port, QObject *parent)
    : UdpTransport(parent)
{
    m_address = address;
    m_port = port;
}

bool UdpClientTransport::write(Packet &message)
{
    message.setId(ServersManager::instance()->nextQueryId());
    if (!m_socket) {
        auto *socket = new QUdpSocket(this);
        // DNS goes straight to the server: a system proxy would not carry it, and asking for one costs a lookup
        // of its own per query.
        socket->setProxy(QNetworkProxy::NoProxy);
        m_socket = socket;
        connect(socket, &QUdpSocket::readyRead, this, &UdpClientTransport::socket_readyRead);
        connect(socket, &QUdpSocket::errorOccurred, this, &UdpClientTransport::socket_error);
        const bool v4 = m_address.protocol() == QAbstractSocket::IPv4Protocol;
        if (!socket->bind(v4 ? QHostAddress(QHostAddress::AnyIPv4) : QHostAddress(QHostAddress::AnyIPv6), 0)) {
            m_lastId = message.id();
            m_lastError = Error(1, socket->errorString());
            return false;
        }
        // A connected socket takes datagrams from the server's address and port only: a reply forged from
        // elsewhere never reaches the query.
        socket->connectToHost(m_address, m_port);
        if (socket->state() != QAbstractSocket::ConnectedState) {
            m_lastId = message.id();
            m_lastError = Error(1, socket->errorString());
            return false;
        }
    }
    return UdpTransport::write(message);
}

void UdpClientTransport::socket_readyRead()
{
    QPointer<UdpClientTransport> self(this);
    while (self && m_socket && m_socket->hasPendingDatagrams()) {
        QByteArray bytes;
        if (!readOneDatagram(m_socket, &bytes, nullptr, nullptr))
            break;
        deliver(Packet(bytes));
        // A message that no waiting query took is dropped, so it cannot hold back the ones behind it.
        if (self)
            m_received.clear();
    }
}

void setReceiveBufferSize(QAbstractSocket *socket)
{
    const int size = 0x20000;
    if (::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0)
        qWarning("Failed to set udp socket buffer: %d", errno);
}

} // namespace DNS
} // namespace Velmor
