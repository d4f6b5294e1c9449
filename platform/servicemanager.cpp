#include "servicemanager.h"

#include "eventlog.h"
#include "fieldtext.h"
#include "root.h"
#include "winerror.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {
namespace ServiceManager {

namespace {

const char managerSource[] = "Service Control Manager";

bool isValidName(const QString &name)
{
    if (name.isEmpty() || name.size() > 256)
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20)
            return false;
    }
    return true;
}

QByteArray formatRegistration(const ServiceRegistration &r)
{
    QByteArray bytes;
    bytes += formatRecord({ QStringLiteral("name"), r.name });
    bytes += formatRecord({ QStringLiteral("display-name"), r.displayName });
    bytes += formatRecord({ QStringLiteral("description"), r.description });
    bytes += formatRecord({ QStringLiteral("program"), r.program });
    bytes += formatRecord(QStringList { QStringLiteral("arguments") } + r.arguments);
    bytes += formatRecord({ QStringLiteral("account"), r.account });
    bytes += formatRecord({ QStringLiteral("password"), r.password });
    bytes += formatRecord({ QStringLiteral("type"), QString::number(r.type) });
    bytes += formatRecord({ QStringLiteral("start-type"), QString::number(r.startType) });
    bytes += formatRecord({ QStringLiteral("error-control"), QString::number(r.errorControl) });
    bytes += formatRecord(QStringList { QStringLiteral("dependencies") } + r.dependencies);
    if (r.standIn)
        bytes += formatRecord({ QStringLiteral("stand-in") });
    return bytes;
}

bool parseRegistration(const QByteArray &bytes, ServiceRegistration *r)
{
    const QList<QStringList> records = parseRecords(bytes);
    for (const QStringList &record : records) {
        const QString &kind = record.first();
        const QString value = record.value(1);
        bool ok = true;
        if (kind == QLatin1String("name"))
            r->name = value;
        else if (kind == QLatin1String("display-name"))
            r->displayName = value;
        else if (kind == QLatin1String("description"))
            r->description = value;
        else if (kind == QLatin1String("program"))
            r->program = value;
        else if (kind == QLatin1String("arguments"))
            r->arguments = record.mid(1);
        else if (kind == QLatin1String("account"))
            r->account = value;
        else if (kind == QLatin1String("password"))
            r->password = value;
        else if (kind == QLatin1String("type"))
            r->type = value.toUInt(&ok);
        else if (kind == QLatin1String("start-type"))
            r->startType = value.toUInt(&ok);
        else if (kind == QLatin1String("error-control"))
            r->errorControl = value.toUInt(&ok);
        else if (kind == QLatin1String("dependencies"))
            r->dependencies = record.mid(1);
        else if (kind == QLatin1String("stand-in"))
            r->standIn = true;
        else
            ok = false;
        if (!ok)
            return false;
    }
    return !r->name.isEmpty();
}

// Creates the file only when no registration of that name exists: link() fails on an existing target, so two
// installers racing each other cannot both succeed.
quint32 createExclusively(const QString &path, const QByteArray &bytes)
{
    // The temporary file is made with mode 0600 and the link keeps it: registrations may hold a password.
    QTemporaryFile file(QFileInfo(path).absolutePath() + QLatin1String("/.new-XXXXXX"));
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return ErrorAccessDenied;
    if (::link(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return errno == EEXIST ? ErrorServiceExists : ErrorAccessDenied;
    return ErrorSuccess;
}

QString standInStatePath(const QString &name);

void seedMachineServices()
{
    ServiceRegistration dnsClient;
    dnsClient.name = QStringLiteral("Dnscache");
    dnsClient.displayName = QStringLiteral("DNS Client");
    dnsClient.description = QStringLiteral("The DNS Client service caches Domain Name System (DNS) names.");
    dnsClient.account = QStringLiteral("NT AUTHORITY\\NetworkService");
    dnsClient.type = ServiceRegistration::SharedProcess;
    dnsClient.startType = ServiceRegistration::AutomaticStart;
    dnsClient.standIn = true;
    if (createService(dnsClient) == ErrorSuccess)
        writeFileAtomically(standInStatePath(dnsClient.name), "running\n");
}

// The machine's own services are registered by whoever makes the services directory first.
QString servicesDirectory()
{
    const QString directory = rootPath(QStringLiteral("services"));
    if (!QFileInfo::exists(directory) && QDir().mkdir(directory))
        seedMachineServices();
    return directory;
}

QString servicePath(const QString &name, const char *suffix)
{
    return servicesDirectory() + QLatin1Char('/') + name.toLower() + QLatin1String(suffix);
}

QString standInStatePath(const QString &name)
{
    return servicePath(name, ".state");
}

bool isProcessAlive(qint64 pid)
{
    if (pid <= 0 || (::kill(pid_t(pid), 0) != 0 && errno != EPERM))
        return false;
    // A zombie has ended; its parent just has not collected it yet.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int end = line.lastIndexOf(')');
    return end < 0 || line.mid(end + 2, 1) != "Z";
}

struct Answer
{
    quint32 status = ErrorSuccess;
    ServiceState state = ServiceState::Stopped;
    qint64 pid = 0;
};

// One request and its answer line "<status> <state> <pid>" on the service's control socket.
quint32 exchange(
    QLocalSocket &socket, const QString &name, quint32 control, const QDeadlineTimer &deadline, Answer *answer)
{
    socket.connectToServer(controlSocketPath(name));
    if (!socket.waitForConnected(int(qMax<qint64>(deadline.remainingTime(), 0))))
        return ErrorServiceNotActive;
    socket.write(QByteArray::number(control) + '\n');
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return socket.state() == QLocalSocket::ConnectedState ? ErrorServiceRequestTimeout : ErrorServiceNotActive;
    }
    const QList<QByteArray> fields = socket.readLine().trimmed().split(' ');
    bool statusOk = false, stateOk = false, pidOk = false;
    if (fields.size() == 3) {
        answer->status = fields.at(0).toUInt(&statusOk);
        answer->state = ServiceState(fields.at(1).toUInt(&stateOk));
        answer->pid = fields.at(2).toLongLong(&pidOk);
    }
    return statusOk && stateOk && pidOk ? ErrorSuccess : ErrorInvalidData;
}

quint32 changeStandIn(const ServiceRegistration &registration, ServiceState wanted)
{
    ServiceState state = ServiceState::Stopped;
    queryState(registration.name, &state);
    if (state == wanted)
        return wanted == ServiceState::Running ? ErrorServiceAlreadyRunning : ErrorServiceNotActive;
    const bool running = wanted == ServiceState::Running;
    if (!writeFileAtomically(standInStatePath(registration.name), running ? "running\n" : "stopped\n"))
        return ErrorAccessDenied;
    const QByteArray entry = formatRecord({ QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
        running ? QStringLiteral("start") : QStringLiteral("stop") });
    QFile history(servicePath(registration.name, ".history"));
    if (history.open(QIODevice::WriteOnly | QIODevice::Append))
        history.write(entry);
    reportState(registration.name, wanted);
    return ErrorSuccess;
}

} // namespace

QString controlSocketPath(const QString &name)
{
    return servicePath(name, ".sock");
}

QString lockFilePath(const QString &name)
{
    return servicePath(name, ".lock");
}

void reportState(const QString &name, ServiceState state)
{
    const char *word = nullptr;
    switch (state) {
    case ServiceState::Running:
        word = "running";
        break;
    case ServiceState::Paused:
        word = "paused";
        break;
    case ServiceState::Stopped:
        word = "stopped";
        break;
    default:
        return;
    }
    EventLog::report(QLatin1String(managerSource), EventLog::Information, 7036,
        QStringLiteral("The %1 service entered the %2 state.").arg(name, QLatin1String(word)));
}

quint32 createService(const ServiceRegistration &registration)
{
    if (!isValidName(registration.name))
        return ErrorInvalidName;
    if (registration.program.isEmpty() && !registration.standIn)
        return ErrorInvalidParameter;
    return createExclusively(servicePath(registration.name, ".service"), formatRegistration(registration));
}

quint32 deleteService(const QString &name)
{
    if (!isValidName(name))
        return ErrorInvalidName;
    QFile file(servicePath(name, ".service"));
    if (!file.exists())
        return ErrorServiceDoesNotExist;
    if (!file.remove())
        return ErrorAccessDenied;
    QFile::remove(standInStatePath(name));
    return ErrorSuccess;
}

quint32 queryConfig(const QString &name, ServiceRegistration *registration)
{
    if (!isValidName(name))
        return ErrorInvalidName;
    QFile file(servicePath(name, ".service"));
    if (!file.exists())
        return ErrorServiceDoesNotExist;
    if (!file.open(QIODevice::ReadOnly))
        return ErrorAccessDenied;
    *registration = ServiceRegistration();
    return parseRegistration(file.readAll(), registration) ? ErrorSuccess : ErrorInvalidData;
}

quint32 queryState(const QString &name, ServiceState *state, qint64 *pid)
{
    ServiceRegistration registration;
    const quint32 status = queryConfig(name, &registration);
    if (status != ErrorSuccess)
        return status;
    if (pid)
        *pid = 0;
    if (registration.standIn) {
        QFile file(standInStatePath(name));
        const bool running = file.open(QIODevice::ReadOnly) && file.readAll().trimmed() == "running";
        *state = running ? ServiceState::Running : ServiceState::Stopped;
        return ErrorSuccess;
    }
    QLocalSocket socket;
    Answer answer;
    const quint32 exchanged = exchange(socket, name, ControlInterrogate, QDeadlineTimer(30000), &answer);
    if (exchanged == ErrorServiceNotActive) {
        *state = ServiceState::Stopped;
        return ErrorSuccess;
    }
    if (exchanged != ErrorSuccess)
        return exchanged;
    *state = answer.state;
    if (pid)
        *pid = answer.pid;
    return ErrorSuccess;
}

quint32 startService(const QString &name, int timeoutMs)
{
    ServiceRegistration registration;
    quint32 status = queryConfig(name, &registration);
    if (status != ErrorSuccess)
        return status;
    if (registration.standIn)
        return changeStandIn(registration, ServiceState::Running);
    ServiceState state = ServiceState::Stopped;
    status = queryState(name, &state);
    if (status != ErrorSuccess)
        return status;
    if (state != ServiceState::Stopped)
        return ErrorServiceAlreadyRunning;

    // Services have no console and start in a directory of the system, not in the caller's.
    QProcess process;
    process.setProgram(registration.program);
    process.setArguments(registration.arguments);
    process.setWorkingDirectory(rootPath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        return ErrorFileNotFound;

    const QDeadlineTimer deadline(timeoutMs);
    forever {
        QLocalSocket socket;
        Answer answer;
        if (exchange(socket, name, ControlInterrogate, deadline, &answer) == ErrorSuccess
            && answer.state != ServiceState::StartPending)
            return answer.state == ServiceState::Stopped ? ErrorProcessAborted : ErrorSuccess;
        if (!isProcessAlive(pid))
            return ErrorProcessAborted;
        if (deadline.hasExpired())
            return ErrorServiceRequestTimeout;
        QThread::msleep(10);
    }
}

quint32 controlService(const QString &name, quint32 control, int timeoutMs)
{
    ServiceRegistration registration;
    const quint32 status = queryConfig(name, &registration);
    if (status != ErrorSuccess)
        return status;
    const bool isUserControl = control >= FirstUserControl && control <= LastUserControl;
    if (!isUserControl && (control < ControlStop || control > ControlInterrogate))
        return ErrorInvalidParameter;
    if (registration.standIn) {
        if (control == ControlStop)
            return changeStandIn(registration, ServiceState::Stopped);
        if (control == ControlInterrogate) {
            ServiceState state = ServiceState::Stopped;
            queryState(name, &state);
            return state == ServiceState::Stopped ? ErrorServiceNotActive : ErrorSuccess;
        }
        return ErrorInvalidServiceControl;
    }

    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    Answer answer;
    const quint32 exchanged = exchange(socket, name, control, deadline, &answer);
    if (exchanged != ErrorSuccess)
        return exchanged;
    if (answer.status != ErrorSuccess || control != ControlStop)
        return answer.status;
    // A stop is done when the process is gone, so that a start right after it cannot meet the old instance.
    if (socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(int(qMax<qint64>(deadline.remainingTime(), 0)));
    while (isProcessAlive(answer.pid)) {
        if (deadline.hasExpired())
            return ErrorServiceRequestTimeout;
        QThread::msleep(10);
    }
    return ErrorSuccess;
}

QStringList standInHistory(const QString &name)
{
    QStringList changes;
    QFile file(servicePath(name, ".history"));
    if (!file.open(QIODevice::ReadOnly))
        return changes;
    const QList<QStringList> records = parseRecords(file.readAll());
    for (const QStringList &record : records)
        changes.append(record.value(1));
    return changes;
}

} // namespace ServiceManager
} // namespace Platform
} // namespace Velmor
