#ifndef VELMOR_PLATFORM_SERVICEMANAGER_H
#define VELMOR_PLATFORM_SERVICEMANAGER_H

#include "winerror.h"

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

// The service manager stand-in. Calls return a Windows status. A running service holds its lock file,
// <root>/services/<name>.lock, which tells its process, its state and its control socket, and answers controls on
// that socket; ServiceControlEndpoint does both in the service's process. The machine's DNS client ("Dnscache") is
// a registered stand-in, made again by any call that finds it missing; its starts and stops are recorded in
// standInHistory().
namespace ServiceManager {

WinError createService(const ServiceRegistration &registration);
WinError deleteService(const QString &name);
// ErrorAccessDenied for a registration the caller may not read, ErrorInvalidData for one that is malformed.
WinError queryConfig(const QString &name, ServiceRegistration *registration);

// From the service's lock, without waiting for the service: stopped when no process holds it. ErrorAccessDenied
// when the caller may not read the lock, or may not read the registration of a service that does not run. pid may
// be null.
WinError queryState(const QString &name, ServiceState *state, qint64 *pid = nullptr);

// Runs the registered command line, as the service manager does, without start parameters, and waits until
// the service reports that it runs.
WinError startService(const QString &name, int timeoutMs = 30000);

// Sends a control and waits for the service's answer; after ControlStop it also waits until the process ended.
WinError controlService(const QString &name, quint32 control, int timeoutMs = 30000);

// "start" and "stop", one per change of a stand-in's state, oldest first.
QStringList standInHistory(const QString &name);

// Where this process binds the service's control socket: a name derived from the root and the service, in a private
// folder of the user, so the path fits a socket address whatever the root's length.
QString controlSocketPath(const QString &name);
QString lockFilePath(const QString &name);

// Writes the manager's entry for a state change to the Application event log.
void reportState(const QString &name, ServiceState state);

} // namespace ServiceManager
} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SERVICEMANAGER_H
