#include "servicehost.h"

#include "base/logwriter.h"
#include "base/servicecontroller.h"

#include "platform/eventlog.h"
#include "platform/root.h"
#include "platform/servicecontrolendpoint.h"
#include "platform/servicemanager.h"
#include "platform/terminationsignals.h"
#include "platform/winerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace Velmor {

using namespace Platform;

namespace {

ServiceHost *hostInstance = nullptr;

const char helpText[]
    = "\n%s -[i|u|e|t|p|r|c|v|h] [--pidfile=file]\n"
      "\t-i(nstall) [account] [password]\t: Install the service, optionally using given account and password\n"
      "\t-d service\t: With -i, anywhere after it: the service depends on that service; may be repeated\n"
      "\t-u(ninstall)\t: Uninstall the service.\n"
      "\t-e(xec)\t\t: Run as a regular application. Useful for debugging.\n"
      "\t-t(erminate)\t: Stop the service.\n"
      "\t-p(ause)\t: Pause the service.\n"
      "\t-r(esume)\t: Resume the service.\n"
      "\t-c(ommand) num\t: Send command code num to the service.\n"
      "\t-v(ersion)\t: Print version and status information.\n"
      "\t-h(elp), --help\t: Show this help\n"
      "\t--pidfile=file\t: Write the process id to file once the service has started (with -e or no switch)\n"
      "\tNo arguments\t: Start the service.\n"
      "Exit codes: 0 done; 2 unknown option; 252 the service could not start; 255 the switch failed.\n";

// The switches, and the argument that may stand in the switch's place when the service starts.
bool isKnownOption(const QString &option)
{
    static const char *const switches[] = { "-i", "-install", "-u", "-uninstall", "-e", "-exec", "-t", "-terminate",
        "-p", "-pause", "-r", "-resume", "-c", "-command", "-v", "-version", "-h", "-help", "--help" };
    for (const char *known : switches) {
        if (option == QLatin1String(known))
            return true;
    }
    return option.startsWith(QLatin1String("--pidfile="));
}

// Why a folder of the tree at path, path included, cannot be trusted; empty when none is in doubt. Each is mended
// to mode where it is this user's.
QString treeProblem(const QString &path, mode_t mode)
{
    const QString problem = folderProblem(path, mode);
    if (!problem.isEmpty())
        return problem;
    QDirIterator it(
        path, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString inner = folderProblem(it.next(), mode);
        if (!inner.isEmpty())
            return inner;
    }
    return QString();
}

// Why the machine's root cannot hold the service's files; empty when it can.
QString rootProblem()
{
    const QString root = rootPath();
    if (!ensureDir(root, PublicFolderMode) || ::access(QFile::encodeName(root).constData(), W_OK | X_OK) != 0) {
        return QStringLiteral("the machine root %1 (VELMOR_ROOT) is not a folder this user can write to (%2)")
            .arg(root, qt_error_string(errno));
    }
    return QString();
}

// Why the folders that hold the service's files cannot be trusted; empty when they can. Its own are mended first.
QString folderTrustProblem()
{
    const QString root = rootPath();
    // Whoever may replace a folder on the way to the settings, the registry or the keys chooses what the service
    // reads there: its account service, its resolver, its token.
    const QString absoluteRoot = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    for (QString parent = QFileInfo(absoluteRoot).path();; parent = QFileInfo(parent).path()) {
        const QString problem = folderProblem(parent);
        if (!problem.isEmpty())
            return problem;
        if (parent == QLatin1String("/") || parent == QLatin1String("."))
            break;
    }
    static const struct
    {
        const char *relative;
        mode_t mode;
        bool tree;
    } folders[] = { { "", PublicFolderMode, false }, { "settings", PublicFolderMode, true },
        { "registry", PublicFolderMode, true }, { "services", PublicFolderMode, false },
        { "eventlog", PublicFolderMode, false }, { "trust", PublicFolderMode, false },
        { "keys", PrivateFolderMode, true } };
    for (const auto &folder : folders) {
        const QString path = QDir::cleanPath(absoluteRoot + QLatin1Char('/') + QLatin1String(folder.relative));
        const QString problem = folder.tree ? treeProblem(path, folder.mode) : folderProblem(path, folder.mode);
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

} // namespace

class ServiceHostPrivate
{
public:
    explicit ServiceHostPrivate(ServiceHost *host)
        : q(host)
    { }

    WinError install(const QString &account, const QString &password, const QStringList &dependencies) const;
    int installSwitch(const QStringList &arguments) const;
    // The exit code of a control switch; a failure is said in one line naming the controller's status.
    int controlSwitch(const QByteArray &failed, bool succeeded, const ServiceController &controller) const;
    int runAsService();
    int runAsApplication();
    QString endpointFailure(const ServiceControlEndpoint &control) const;
    // Runs the subclass's start; a start that failed is logged and ends the event loop.
    void startAndReport(ServiceControlEndpoint *control);
    void handleControl(quint32 control);

    ServiceHost *q;
    std::unique_ptr<QCoreApplication> ownApplication;
    QString name;
    QString description;
    ServiceHost::ServiceFlags flags = ServiceHost::Default;
    ServiceHost::StartupType startupType = ServiceHost::ManualStartup;
    ServiceControlEndpoint *endpoint = nullptr;
    // Why the last start failed; empty while none did.
    QString startFailure;
    std::unique_ptr<LogWriter> log;
};

WinError ServiceHostPrivate::install(
    const QString &account, const QString &password, const QStringList &dependencies) const
{
    ServiceRegistration registration;
    registration.name = name;
    registration.displayName = name;
    registration.description = description;
    registration.program = QCoreApplication::applicationFilePath();
    registration.startType = startupType == ServiceHost::AutoStartup ? ServiceRegistration::AutomaticStart
                                                                     : ServiceRegistration::DemandStart;
    registration.dependencies = dependencies;

    // An account without a domain is one of the local machine; the local system account is passed as none.
    QString user = account;
    if (!user.isEmpty() && !user.contains(QLatin1Char('\\')))
        user.prepend(QLatin1String(".\\"));
    if (user.isEmpty() || user.endsWith(QLatin1String("\\LocalSystem"))) {
        registration.type = ServiceRegistration::OwnProcess | ServiceRegistration::InteractiveProcess;
    } else {
        registration.type = ServiceRegistration::OwnProcess;
        registration.account = user;
        registration.password = password;
    }
    return ServiceManager::createService(registration);
}

int ServiceHostPrivate::installSwitch(const QStringList &arguments) const
{
    const QByteArray serviceName = name.toLatin1();
    ServiceController controller(name);
    if (controller.isInstalled()) {
        fprintf(stderr, "The service %s is already installed\n", serviceName.constData());
        return ServiceHost::ExitSuccess;
    }
    const QString problem = rootProblem();
    if (!problem.isEmpty()) {
        fprintf(stderr, "The service %s could not be installed: %s\n", serviceName.constData(),
            problem.toLocal8Bit().constData());
        return ServiceHost::ExitFailure;
    }
    // "-d <service>" pairs may stand anywhere; what remains are the program, the switch, account and password.
    QStringList dependencies;
    QStringList remaining;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("-d")) {
            if (i + 1 < arguments.size())
                dependencies.append(arguments.at(++i));
            continue;
        }
        remaining.append(arguments.at(i));
    }
    const WinError installed = install(remaining.value(2), remaining.value(3), dependencies);
    if (installed != ErrorSuccess) {
        fprintf(stderr, "The service %s could not be installed: %s (%s)\n", serviceName.constData(),
            qPrintable(winErrorText(installed)), qPrintable(QFileInfo(ServiceManager::lockFilePath(name)).path()));
        return ServiceHost::ExitFailure;
    }
    fprintf(stdout, "The service %s has been installed under: %s\n", serviceName.constData(),
        QCoreApplication::applicationFilePath().toLocal8Bit().constData());
    return ServiceHost::ExitSuccess;
}

void ServiceHostPrivate::handleControl(quint32 control)
{
    switch (control) {
    case ControlStop:
        endpoint->setState(ServiceState::StopPending);
        q->stop();
        endpoint->setState(ServiceState::Stopped);
        QCoreApplication::quit();
        break;
    case ControlPause:
        q->pause();
        endpoint->setState(ServiceState::Paused);
        break;
    case ControlContinue:
        q->resume();
        endpoint->setState(ServiceState::Running);
        break;
    default:
        q->processCommand(int(control - FirstUserControl));
        break;
    }
}

int ServiceHostPrivate::controlSwitch(
    const QByteArray &failed, bool succeeded, const ServiceController &controller) const
{
    if (succeeded)
        return ServiceHost::ExitSuccess;
    fprintf(stderr, "The service %s %s: %s\n", name.toLocal8Bit().constData(), failed.constData(),
        qPrintable(winErrorText(controller.error())));
    return ServiceHost::ExitFailure;
}

QString ServiceHostPrivate::endpointFailure(const ServiceControlEndpoint &control) const
{
    if (!control.errorString().isEmpty())
        return control.errorString();
    const QString lockFile = ServiceManager::lockFilePath(name);
    if (control.error() == ErrorServiceAlreadyRunning)
        return QStringLiteral("another instance runs (it holds %1)").arg(lockFile);
    return QStringLiteral("the lock file %1 cannot be opened (%2)").arg(lockFile, qt_error_string(errno));
}

void ServiceHostPrivate::startAndReport(ServiceControlEndpoint *control)
{
    startFailure.clear();
    q->start();
    if (startFailure.isEmpty()) {
        if (control)
            control->setState(ServiceState::Running);
        return;
    }
    q->logMessage(QStringLiteral("The service %1 could not start: %2").arg(name, startFailure), ServiceHost::Error);
    if (control)
        control->setState(ServiceState::Stopped);
    QCoreApplication::exit(ServiceHost::ExitStartFailure);
}

int ServiceHostPrivate::runAsService()
{
    startFailure = rootProblem();
    if (startFailure.isEmpty())
        startFailure = folderTrustProblem();
    if (!startFailure.isEmpty())
        return ServiceHost::ExitStartFailure;
    ServiceRegistration registration;
    const WinError registered = ServiceManager::queryConfig(name, &registration);
    if (registered != ErrorSuccess) {
        const QString folder = QFileInfo(ServiceManager::lockFilePath(name)).path();
        startFailure = registered == ErrorServiceDoesNotExist
            ? QStringLiteral("it is not installed in %1").arg(folder)
            : QStringLiteral("its registration in %1 cannot be read (%2)").arg(folder, winErrorText(registered));
        q->logMessage(QStringLiteral("The service %1 could not start: %2").arg(name, startFailure), ServiceHost::Error);
        return ServiceHost::ExitStartFailure;
    }
    ServiceControlEndpoint control(name);
    if (!control.listen()) {
        startFailure = endpointFailure(control);
        q->logMessage(QStringLiteral("The service %1 could not start: %2").arg(name, startFailure), ServiceHost::Error);
        return ServiceHost::ExitStartFailure;
    }
    removeStaleTemporaryFiles();
    endpoint = &control;
    quint32 accepted = 0;
    if (!(flags & ServiceHost::CannotBeStopped))
        accepted |= ServiceControlEndpoint::AcceptStop;
    if (flags & ServiceHost::CanBeSuspended)
        accepted |= ServiceControlEndpoint::AcceptPauseContinue;
    control.setAcceptedControls(accepted);
    control.setHandler([this](quint32 code) { handleControl(code); });

    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &control, [this, &control] {
        if (control.state() != ServiceState::StopPending && control.state() != ServiceState::Stopped)
            handleControl(ControlStop);
    });
    QTimer::singleShot(0, &control, [this, &control] { startAndReport(&control); });
    const int code = QCoreApplication::exec();
    endpoint = nullptr;
    return code;
}

int ServiceHostPrivate::runAsApplication()
{
    startFailure = rootProblem();
    if (startFailure.isEmpty())
        startFailure = folderTrustProblem();
    if (!startFailure.isEmpty())
        return ServiceHost::ExitStartFailure;
    removeStaleTemporaryFiles();
    bool stopped = false;
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &terminationSignals, [this, &stopped] {
        if (stopped)
            return;
        stopped = true;
        q->stop();
        QCoreApplication::quit();
    });
    QTimer::singleShot(0, &terminationSignals, [this] { startAndReport(nullptr); });
    return QCoreApplication::exec();
}

ServiceHost::ServiceHost(int &argc, char **argv, const QString &name)
    : d(new ServiceHostPrivate(this))
{
    if (!QCoreApplication::instance())
        d->ownApplication.reset(new QCoreApplication(argc, argv));
    d->name = name;
    d->log = std::make_unique<LogWriter>(name);
    hostInstance = this;
}

ServiceHost::~ServiceHost()
{
    hostInstance = nullptr;
}

ServiceHost *ServiceHost::instance()
{
    return hostInstance;
}

QString ServiceHost::serviceName() const
{
    return d->name;
}

void ServiceHost::setServiceDescription(const QString &description)
{
    d->description = description;
}

ServiceHost::ServiceFlags ServiceHost::serviceFlags() const
{
    return d->flags;
}

void ServiceHost::setServiceFlags(ServiceFlags flags)
{
    d->flags = flags;
}

ServiceHost::StartupType ServiceHost::startupType() const
{
    return d->startupType;
}

void ServiceHost::setStartupType(StartupType type)
{
    d->startupType = type;
}

namespace {

EventLog::Type eventType(ServiceHost::MessageType type)
{
    EventLog::Type logType = EventLog::Success;
    switch (type) {
    case ServiceHost::Success:
        logType = EventLog::Success;
        break;
    case ServiceHost::Error:
        logType = EventLog::Error;
        break;
    case ServiceHost::Warning:
        logType = EventLog::Warning;
        break;
    case ServiceHost::Information:
        logType = EventLog::Information;
        break;
    }
    return logType;
}

} // namespace

void ServiceHost::logMessage(const QString &message, MessageType type, int id) const
{
    d->log->post(eventType(type), message, id);
}

void ServiceHost::logDiagnostic(const QString &message, MessageType type) const
{
    d->log->postRepeatable(eventType(type), message);
}

void ServiceHost::logFatal(const QString &message) const
{
    d->log->flush(2000);
    EventLog::report(d->name, EventLog::Error, 0, message);
}

void ServiceHost::failStart(const QString &cause)
{
    d->startFailure = cause;
}

void ServiceHost::stop() { }

void ServiceHost::pause() { }

void ServiceHost::resume() { }

void ServiceHost::processCommand(int code)
{
    Q_UNUSED(code);
}

int ServiceHost::exec()
{
    const QStringList arguments = QCoreApplication::arguments();
    const QString option = arguments.value(1);
    const QByteArray serviceName = d->name.toLatin1();
    ServiceController controller(d->name);

    if (option == QLatin1String("-i") || option == QLatin1String("-install"))
        return d->installSwitch(arguments);

    if (option == QLatin1String("-u") || option == QLatin1String("-uninstall")) {
        if (!controller.isInstalled()) {
            fprintf(stderr, "The service %s is not installed\n", serviceName.constData());
            return ExitSuccess;
        }
        if (!controller.uninstall()) {
            fprintf(stderr, "The service %s could not be uninstalled\n", serviceName.constData());
            return ExitFailure;
        }
        fprintf(stdout, "The service %s has been uninstalled.\n", serviceName.constData());
        return ExitSuccess;
    }

    if (!option.isEmpty() && !isKnownOption(option)) {
        fprintf(stderr, helpText, arguments.at(0).toLocal8Bit().constData());
        return ExitUsage;
    }

    if (option == QLatin1String("-v") || option == QLatin1String("-version")) {
        const bool installed = controller.isInstalled();
        const bool running = installed && controller.isRunning();
        // A caller who may not see the service is told so, not that it does not run.
        const bool known = !installed || running || controller.error() == ErrorSuccess;
        fprintf(stdout, "The service\n\t%s\n\t%s\n\tversion %s\n\n", serviceName.constData(),
            arguments.at(0).toLocal8Bit().constData(), qPrintable(QCoreApplication::applicationVersion()));
        fprintf(stdout, "is %s", installed ? "installed" : "not installed");
        fprintf(stdout, " and %s\n\n", !known ? "its state cannot be queried" : running ? "running" : "not running");
        fflush(stdout);
        if (!known) {
            printSystemError(
                QStringLiteral("The state of the service %1 cannot be queried").arg(d->name), int(controller.error()));
        }
        return ExitSuccess;
    }

    if (option == QLatin1String("-e") || option == QLatin1String("-exec")) {
        const int code = d->runAsApplication();
        if (code == ExitFailure)
            qWarning("The service could not be executed.");
        if (code == ExitStartFailure)
            fprintf(stderr, "The service %s could not start: %s\n", serviceName.constData(),
                d->startFailure.toLocal8Bit().constData());
        return code;
    }

    if (option == QLatin1String("-t") || option == QLatin1String("-terminate"))
        return d->controlSwitch("could not be stopped", controller.stop(), controller);
    if (option == QLatin1String("-p") || option == QLatin1String("-pause"))
        return d->controlSwitch("could not be paused", controller.pause(), controller);
    if (option == QLatin1String("-r") || option == QLatin1String("-resume"))
        return d->controlSwitch("could not be resumed", controller.resume(), controller);
    if (option == QLatin1String("-c") || option == QLatin1String("-command")) {
        const QString number = arguments.value(2);
        bool isNumber = false;
        const int code = number.toInt(&isNumber);
        // Checked here, not by the controller, so that the line names what was typed.
        if (!isNumber || code < 0 || code > int(LastUserControl - FirstUserControl)) {
            fprintf(stderr, "The command \"%s\" was not sent to the service %s: a command is a number from 0 to %d\n",
                number.toLocal8Bit().constData(), serviceName.constData(), int(LastUserControl - FirstUserControl));
            return ExitFailure;
        }
        return d->controlSwitch(QStringLiteral("did not take the command %1").arg(code).toLatin1(),
            controller.sendCommand(code), controller);
    }

    if (option == QLatin1String("-h") || option == QLatin1String("-help") || option == QLatin1String("--help")) {
        fprintf(stdout, helpText, arguments.at(0).toLocal8Bit().constData());
        return ExitSuccess;
    }

    if (d->runAsService() == ExitStartFailure) {
        fprintf(stderr, "The service %s could not start: %s\n", serviceName.constData(),
            d->startFailure.toLocal8Bit().constData());
        return ExitStartFailure;
    }
    return ExitSuccess;
}

} // namespace Velmor
