#ifndef VELMOR_PLATFORM_SERVICECONTROLENDPOINT_H
#define VELMOR_PLATFORM_SERVICECONTROLENDPOINT_H

#include "servicemanager.h"

#include <QObject>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace Velmor {
namespace Platform {

// The service's side of the service manager: while the service runs, its process holds the service's lock
// file, keeps its state there, and answers controls on the control socket, on the thread that owns this object.
// Controls the service does not accept are refused here with the manager's statuses; accepted ones go to the handler,
// and the answer is sent once the handler has returned.
class ServiceControlEndpoint : public QObject
{
    Q_OBJECT
public:
    enum AcceptedControl : quint32 { AcceptStop = 0x1, AcceptPauseContinue = 0x2 };
    using Handler = std::function<void(quint32 control)>;

    explicit ServiceControlEndpoint(const QString &serviceName, QObject *parent = nullptr);
    ~ServiceControlEndpoint() override;

    // False with a Windows status in error() when another process runs the service or the socket cannot be made;
    // in the latter case errorString() says why.
    bool listen();
    WinError error() const { return m_error; }
    QString errorString() const { return m_errorString; }

    void setAcceptedControls(quint32 controls) { m_acceptedControls = controls; }
    void setHandler(const Handler &handler) { m_handler = handler; }

    ServiceState state() const { return m_state; }
    // Running, paused and stopped are written to the event log, as the service manager records them.
    void setState(ServiceState state);

private:
    void server_newConnection();
    void answer(QLocalSocket *socket);
    WinError check(quint32 control) const;
    bool listenOnSocket();
    void writeRecord();

    QString m_name;
    QLocalServer *m_server;
    int m_lockFd = -1;
    WinError m_error = ErrorSuccess;
    QString m_errorString;
    QString m_socketPath;
    quint32 m_acceptedControls = AcceptStop;
    ServiceState m_state = ServiceState::StartPending;
    Handler m_handler;
};

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SERVICECONTROLENDPOINT_H
