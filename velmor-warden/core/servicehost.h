#ifndef VELMOR_SERVICEHOST_H
#define VELMOR_SERVICEHOST_H

#include <QFlags>
#include <QString>
#include <QStringList>

#include <memory>

class QCoreApplication;

namespace Velmor {

class ServiceHostPrivate;

// A service program. exec() reads the command line: a switch installs, removes, queries or controls the
// service and exits; no switch runs the process as the service, which serves the service manager's controls
// on the main thread's event loop until it is stopped. Subclasses give the service its work in start(),
// stop(), pause(), resume() and processCommand().
class ServiceHost
{
public:
    enum ServiceFlag { Default = 0x0, CanBeSuspended = 0x1, CannotBeStopped = 0x2, NeedsStopOnShutdown = 0x4 };
    Q_DECLARE_FLAGS(ServiceFlags, ServiceFlag)
    enum StartupType { AutoStartup, ManualStartup };
    enum MessageType { Success, Error, Warning, Information };
    // Exit codes of exec(): an unknown option, a switch that failed, and a start that failed. "-e" exits with the
    // code of its run.
    enum ExitCode { ExitSuccess = 0, ExitUsage = 2, ExitFailure = -1, ExitStartFailure = -4 };

    // Creates the application object unless one exists; argc must outlive the host.
    ServiceHost(int &argc, char **argv, const QString &name);
    virtual ~ServiceHost();
    Q_DISABLE_COPY(ServiceHost)

    static ServiceHost *instance();

    QString serviceName() const;
    void setServiceDescription(const QString &description);
    ServiceFlags serviceFlags() const;
    void setServiceFlags(ServiceFlags flags);
    StartupType startupType() const;
    void setStartupType(StartupType type);

    // The process's exit code.
    int exec();

    // An Application event log entry under the service's name, written on the log's own thread; safe on any thread
    // and never waits for the log.
    void logMessage(const QString &message, MessageType type = Success, int id = 0) const;
    // The same for a diagnostic that a peer may cause again and again: repeats within a minute are only counted.
    void logDiagnostic(const QString &message, MessageType type) const;
    // Writes what waits (for a few seconds at most), then this error entry on the calling thread: the process is
    // about to end.
    void logFatal(const QString &message) const;

protected:
    // A start that calls failStart() has failed: the cause goes to standard error and the event log, and the
    // process ends with ExitStartFailure.
    virtual void start() = 0;
    void failStart(const QString &cause);
    virtual void stop();
    virtual void pause();
    virtual void resume();
    virtual void processCommand(int code);

private:
    friend class ServiceHostPrivate;
    std::unique_ptr<ServiceHostPrivate> d;
};

} // namespace Velmor

Q_DECLARE_OPERATORS_FOR_FLAGS(Velmor::ServiceHost::ServiceFlags)

#endif // VELMOR_SERVICEHOST_H
