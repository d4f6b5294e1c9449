#ifndef VELMOR_LOCALSOCKETIPCCONNECTION_H
#define VELMOR_LOCALSOCKETIPCCONNECTION_H

#include "velmorwire_global.h"

#include "ipcconnection.h"

#include <QAbstractSocket>

class QTcpSocket;

namespace Velmor {

// An IPC link over a local TCP socket, used by both ends.
class VELMORWIRE_EXPORT LocalSocketIpcConnection : public Velmor::IpcConnection
{
    Q_OBJECT

public:
    // A socket of its own, not yet connected: the state is Unconnected.
    explicit LocalSocketIpcConnection(QObject *parent = nullptr);
    // Takes over a socket, normally one just accepted: the state is Connected at once, without signals.
    explicit LocalSocketIpcConnection(QTcpSocket *socket, QObject *parent = nullptr);
    ~LocalSocketIpcConnection() override;

    void initSocket() override;

protected:
    using IpcConnection::socket_error;

private Q_SLOTS:
    void socket_error(QAbstractSocket::SocketError socketError);

private:
    Q_DISABLE_COPY(LocalSocketIpcConnection)
};

} // namespace Velmor

#endif // VELMOR_LOCALSOCKETIPCCONNECTION_H
