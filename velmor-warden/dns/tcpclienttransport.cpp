#include "tcpclienttransport.h"

#include "serversmanager.h"

#include <QNetworkProxy>
#include <QTcpSocket>

namespace Velmor {
namespace DNS {

TcpClientTransport::TcpClientTransport(const QHostAddress &address, quint16 port, QObject *parent)
    : TcpTransport(parent)
    , m_serverAddress(address)
    , m_serverPort(port)
    , m_nextId(ServersManager::instance()->nextQueryId())
{ }

void TcpClientTransport::release()
{
    ServersManager::instance()->releaseTransport(this);
}

bool TcpClientTransport::write(Packet &message)
{
    const quint16 id = m_nextId++;
    m_lastId = id;
    message.setId(id);
    if (m_failed) {
        m_lastError = Error(Error::GeneralFailure, QStringLiteral("The connection to the server failed"));
        return false;
    }
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        return send(message);
    m_pending.append(message);
    if (m_socket)
        return true;

    auto *socket = new QTcpSocket(this);
    socket->setProxy(QNetworkProxy::NoProxy);
    connect(socket, &QTcpSocket::connected, this, &TcpClientTransport::socket_connected);
    setSocket(socket);
    socket->connectToHost(m_serverAddress, m_serverPort);
    return socket->state() == QAbstractSocket::ConnectingState || socket->state() == QAbstractSocket::ConnectedState;
}

void TcpClientTransport::socket_connected()
{
    m_connected = true;
    while (!m_pending.isEmpty()) {
        if (!send(m_pending.first()))
            return;
        m_pending.removeFirst();
    }
}

void TcpClientTransport::socket_error(QAbstractSocket::SocketError socketError)
{
    Q_UNUSED(socketError);
    if (m_failed)
        return;
    // A refused or broken connection answers nothing more: its queries end now, and it leaves the pool so the
    // next query opens a fresh one.
    m_failed = true;
    m_pending.clear();
    m_lastError = Error(Error::GeneralFailure,
        m_socket ? m_socket->errorString() : QStringLiteral("The connection to the server failed"));
    Q_EMIT error();
    deleteLater();
}

bool TcpClientTransport::isAcceptable(const Packet &message) const
{
    return message.isQuestionlessError() || TcpTransport::isAcceptable(message);
}

void TcpClientTransport::messageOffered()
{
    // A message that no waiting query took is dropped, so it cannot hold back the ones behind it.
    m_received.clear();
}

} // namespace DNS
} // namespace Velmor
