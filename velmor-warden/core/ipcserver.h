#ifndef VELMOR_IPCSERVER_H
#define VELMOR_IPCSERVER_H

#include "velmorwire/error.h"
#include "velmorwire/ipcconnection.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QTcpServer;

namespace Velmor {

// The listener of the desktop programs' links, on 127.0.0.1 only, at the IPC port. Every accepted socket becomes
// a connection it owns until the peer goes.
class IpcServer : public QObject
{
    Q_OBJECT

public:
    explicit IpcServer(QObject *parent = nullptr);
    ~IpcServer() override;

    // False with lastError() set (code 1, the listener's text) when the port cannot be listened on.
    bool start();
    // Closes the listener; connections already open go on.
    bool stop();
    bool isListening() const;
    quint16 serverPort() const;
    Velmor::Error lastError() const { return m_lastError; }

    // The live connections, in the order they were accepted.
    QList<Velmor::IpcConnection *> connections() const;

Q_SIGNALS:
    void newConnection(Velmor::IpcConnection *connection);

private Q_SLOTS:
    void impl_newConnection();
    void connectionDisconnected();

private:
    Q_DISABLE_COPY(IpcServer)

    QTcpServer *m_server;
    Velmor::Error m_lastError;
    // Guarded: a connection deleted by someone else leaves the list as well.
    QList<QPointer<Velmor::IpcConnection>> m_connections;
};

} // namespace Velmor

#endif // VELMOR_IPCSERVER_H
