#include "ipcserver.h"

#include "velmorwire/ipcport.h"
#include "velmorwire/localsocketipcconnection.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace Velmor {

IpcServer::IpcServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_lastError(0, QString())
{
    connect(m_server, &QTcpServer::newConnection, this, &IpcServer::impl_newConnection);
}

IpcServer::~IpcServer() = default;

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
    if (m_server->isListening()) {
        m_lastError = Error(0, QString());
        return true;
    }
    if (!m_server->listen(QHostAddress(QHostAddress::LocalHost), ipcPort())) {
        m_lastError = Error(Error::GeneralFailure, m_server->errorString());
        return false;
    }
    m_lastError = Error(0, QString());
    return true;
}

bool IpcServer::stop()
{
    m_server->close();
    return true;
}

bool IpcServer::isListening() const
{
    return m_server->isListening();
}

quint16 IpcServer::serverPort() const
{
    return m_server->serverPort();
}

void IpcServer::impl_newConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *connection = new LocalSocketIpcConnection(socket, this);
        m_connections.append(connection);
        connect(connection, &IpcConnection::disconnected, this, &IpcServer::connectionDisconnected);
        Q_EMIT newConnection(connection);
    }
}

void IpcServer::connectionDisconnected()
{
    auto *connection = qobject_cast<IpcConnection *>(sender());
    if (!connection || !m_connections.removeOne(connection))
        return;
    connection->deleteLater();
    m_connections.removeAll(nullptr);
}

} // namespace Velmor
