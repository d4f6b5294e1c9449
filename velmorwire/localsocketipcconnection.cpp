#include "localsocketipcconnection.h"

#include <QTcpSocket>

namespace Velmor {

LocalSocketIpcConnection::LocalSocketIpcConnection(QObject *parent)
    : LocalSocketIpcConnection(new QTcpSocket, parent)
{ }

LocalSocketIpcConnection::LocalSocketIpcConnection(QTcpSocket *socket, QObject *parent)
    : IpcConnection(socket, parent)
{
    // The base constructor ran only its own set-up; the socket's errors are connected here.
    connect(socket, &QAbstractSocket::errorOccurred, this,
        qOverload<QAbstractSocket::SocketError>(&LocalSocketIpcConnection::socket_error), Qt::UniqueConnection);
}

LocalSocketIpcConnection::~LocalSocketIpcConnection() = default;

void LocalSocketIpcConnection::initSocket()
{
    IpcConnection::initSocket();
    if (auto socket = qobject_cast<QTcpSocket *>(m_device)) {
        connect(socket, &QAbstractSocket::errorOccurred, this,
            qOverload<QAbstractSocket::SocketError>(&LocalSocketIpcConnection::socket_error), Qt::UniqueConnection);
    }
}

void LocalSocketIpcConnection::socket_error(QAbstractSocket::SocketError)
{
    if (m_error == NoLinkError)
        m_error = DeviceError;
    socket_error();
}

} // namespace Velmor
