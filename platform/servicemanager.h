#ifndef VELMOR_PLATFORM_SERVICEMANAGER_H
#define VELMOR_PLATFORM_SERVICEMANAGER_H

#include <QString>
#include <QStringList>

namespace Velmor {
namespace Platform {

// A service as the service manager keeps it: <root>/services/<name>.service. Service names compare without
// regard to case, as on Windows.
struct ServiceRegistration
{
    enum Type : quint32 { OwnProcess = 0x10, SharedProcess = 0x20, InteractiveProcess = 0x100 };
    enum StartType : quint32 { AutomaticStart = 2, DemandStart = 3 };

    QString name;
    QString displayName;
    QString description;
    QString program; // the executable
    QStringList arguments; // what follows the program on its registered command line
    QString account; // empty for the local system account
    QString password;
    quint32 type = OwnProcess;
    quint32 startType = DemandStart;
    quint32 errorControl = 1;
    QStringList dependencies; // in the order given
    bool standIn = false; // one of the machine's own services: no program, its state is kept by the manager
};

// Windows service states and controls, with their Windows numbers.
enum class ServiceState : quint32 {
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
    ContinuePending = 5,
    PausePending = 6,
    Paused = 7,
};

enum ServiceControl : quint32 {
    ControlStop = 1,
    ControlPause = 2,
    ControlContinue = 3,
    ControlInterrogate = 4,
    FirstUserControl = 128,
    LastUserControl = 255,
};

// The service manager stand-in. Calls return a Windows status (winerror.h). A running service answers on its
// control socket, <root>/services/<name>.sock, which ServiceControlEndpoint serves in the service's process.
// The machine's DNS client ("Dnscache") is registered as a stand-in when the services directory is first made;
// its starts and stops are recorded in standInHistory().
namespace ServiceManager {

quint32 createService(const ServiceRegistration &registration);
quint32 deleteService(const QString &name);
quint32 queryConfig(const QString &name, ServiceRegistration *registration);

// Stopped when no process answers on the control socket. pid may be null.
quint32 queryState(const QString &name, ServiceState *state, qint64 *pid = nullptr);

// Runs the registered command line, as the service manager does, without start parameters, and waits until
// the service reports that it runs.
quint32 startService(const QString &name, int timeoutMs = 30000);

// Sends a control and waits for the service's answer; after ControlStop it also waits until the process ended.
quint32 controlService(const QString &name, quint32 control, int timeoutMs = 30000);

// "start" and "stop", one per change of a stand-in's state, oldest first.
QStringList standInHistory(const QString &name);

QString controlSocketPath(const QString &name);
QString lockFilePath(const QString &name);

// Writes the manager's entry for a state change to the Application event log.
void reportState(const QString &name, ServiceState state);

} // namespace ServiceManager
} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SERVICEMANAGER_H
