#include "servicemanager.h"
#include "servicemanager_p.h"

#include "eventlog.h"
#include "fieldtext.h"
#include "root.h"
#include "winerror.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {
QByteArray formatServiceRecord(const ServiceRecord &record)
{
    QByteArray bytes = QByteArray::number(record.pid) + ' ' + QByteArray::number(quint32(record.state)) + ' '
        + QFile::encodeName(record.socketPath) + '\n';
    return bytes.leftJustified(ServiceRecordSize, ' ', true);
}

bool parseServiceRecord(const QByteArray &bytes, ServiceRecord *record)
{
    const qsizetype end = bytes.indexOf('\n');
    if (end < 0)
        return false;
    const QByteArray line = bytes.left(end);
    const qsizetype first = line.indexOf(' ');
    const qsizetype second = line.indexOf(' ', first + 1);
    if (first < 0 || second < 0)
        return false;
    bool pidOk = false;
    bool stateOk = false;
    record->pid = line.left(first).toLongLong(&pidOk);
    const quint32 state = line.mid(first + 1, second - first - 1).toUInt(&stateOk);
    record->socketPath = QFile::decodeName(line.mid(second + 1));
    record->state = ServiceState(state);
    return pidOk && stateOk && state >= quint32(ServiceState::Stopped) && state <= quint32(ServiceState::Paused);
}

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

QString standInStatePath(const QString &name);

// The machine's own services, as the first run of any program makes them. Every call makes what is missing: a kill
// at any moment of that first run must not lose one of them for good.
void repairMachineServices(const QString &directory)
{
    ServiceRegistration dnsClient;
    dnsClient.name = QStringLiteral("Dnscache");
    dnsClient.displayName = QStringLiteral("DNS Client");
    dnsClient.description = QStringLiteral("The DNS Client service caches Domain Name System (DNS) names.");
    dnsClient.account = QStringLiteral("NT AUTHORITY\\NetworkService");
    dnsClient.type = ServiceRegistration::SharedProcess;
    dnsClient.startType = ServiceRegistration::AutomaticStart;
    dnsClient.standIn = true;
    const QString base = directory + QLatin1Char('/') + dnsClient.name.toLower();
    // Each file is made only where none is, so a repair never undoes a change another process made meanwhile.
    if (!QFileInfo::exists(base + QLatin1String(".service")))
        createFileAtomically(base + QLatin1String(".service"), formatRegistration(dnsClient), PrivateFileMode);
    if (!QFileInfo::exists(base + QLatin1String(".state")))
        createFileAtomically(base + QLatin1String(".state"), "running\n", PublicFileMode);
}

QString servicesDirectory()
{
    const QString directory = rootPath(QStringLiteral("services"));
    if (ensureDir(directory, PublicFolderMode))
        repairMachineServices(directory);
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

// What the record a service publishes beside its lock file tells, for a user who may not open the lock file: the
// service's own word that it runs, as long as its process lives.
WinError readServiceRecord(const QString &name, bool *held, ServiceRecord *record)
{
    QFile file(recordFilePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return file.exists() ? ErrorAccessDenied : ErrorSuccess;
    *held = parseServiceRecord(file.read(ServiceRecordSize), record) && record->state != ServiceState::Stopped
        && isProcessAlive(record->pid);
    return ErrorSuccess;
}

// What the lock file of a service tells: whether a process holds it, and that process's record.
WinError readServiceLock(const QString &name, bool *held, ServiceRecord *record)
{
    *held = false;
    const int fd = openFile(lockFilePath(name), O_RDONLY, PrivateFileMode);
    if (fd < 0 && errno == EACCES)
        return readServiceRecord(name, held, record);
    if (fd < 0)
        return errno == ENOENT ? ErrorSuccess : ErrorAccessDenied;
    // Asking whether a lock could be placed places none, so this never gets in the way of a service's start.
    struct flock lock = {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    WinError status = ErrorSuccess;
    if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) {
        status = ErrorAccessDenied;
    } else if (lock.l_type != F_UNLCK) {
        *held = true;
        // The record is rewritten in place as the state changes: a read that meets half a write reads again.
        QByteArray bytes(ServiceRecordSize, '\0');
        for (int attempt = 0; attempt < 100; ++attempt) {
            const ssize_t size = ::pread(fd, bytes.data(), size_t(bytes.size()), 0);
            if (size > 0 && parseServiceRecord(bytes.left(size), record))
                break;
            *record = ServiceRecord();
            record->state = ServiceState::StartPending;
            QThread::yieldCurrentThread();
        }
    }
    ::close(fd);
    return status;
}

struct Answer
{
    WinError status = ErrorSuccess;
    ServiceState state = ServiceState::Stopped;
    qint64 pid = 0;
};

// One request and its answer line "<status> <state> <pid>" on the service's control socket.
WinError exchange(
    QLocalSocket &socket, const QString &name, quint32 control, const QDeadlineTimer &deadline, Answer *answer)
{
    // The service names its socket in its lock file: the socket's folder depends on the service's user.
    bool held = false;
    ServiceRecord record;
    const WinError status = readServiceLock(name, &held, &record);
    if (status != ErrorSuccess)
        return status;
    if (!held || record.socketPath.isEmpty())
        return ErrorServiceNotActive;
    socket.connectToServer(record.socketPath);
    if (!socket.waitForConnected(int(qMax<qint64>(deadline.remainingTime(), 0))))
        return socket.error() == QLocalSocket::SocketAccessError ? ErrorAccessDenied : ErrorServiceNotActive;
    socket.write(QByteArray::number(control) + '\n');
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return socket.state() == QLocalSocket::ConnectedState ? ErrorServiceRequestTimeout : ErrorServiceNotActive;
    }
    const QList<QByteArray> fields = socket.readLine().trimmed().split(' ');
    bool statusOk = false, stateOk = false, pidOk = false;
    if (fields.size() == 3) {
        answer->status = WinError(fields.at(0).toUInt(&statusOk));
        answer->state = ServiceState(fields.at(1).toUInt(&stateOk));
        answer->pid = fields.at(2).toLongLong(&pidOk);
    }
    return statusOk && stateOk && pidOk ? ErrorSuccess : ErrorInvalidData;
}

WinError changeStandIn(const ServiceRegistration &registration, ServiceState wanted)
{
    ServiceState state = ServiceState::Stopped;
    queryState(registration.name, &state);
    if (state == wanted)
        return wanted == ServiceState::Running ? ErrorServiceAlreadyRunning : ErrorServiceNotActive;
    const bool running = wanted == ServiceState::Running;
    if (!writeFileAtomically(standInStatePath(registration.name), running ? "running\n" : "stopped\n", PublicFileMode))
        return ErrorAccessDenied;
    const QByteArray entry = formatRecord({ QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
        running ? QStringLiteral("start") : QStringLiteral("stop") });
    const int history
        = openFile(servicePath(registration.name, ".history"), O_WRONLY | O_APPEND | O_CREAT, PublicFileMode);
    if (history >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(history, entry.constData(), size_t(entry.size()));
        ::close(history);
    }
    reportState(registration.name, wanted);
    return ErrorSuccess;
}

} // namespace

QString controlSocketFolder()
{
    // Short enough that the longest socket path, with the temporary name Qt binds first, stays within the 108
    // bytes of a socket address.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')) && runtime.size() <= 48)
        return runtime + QLatin1String("/velmor");
    if (::geteuid() == 0)
        return QStringLiteral("/run/velmor");
    return QStringLiteral("/tmp/velmor-%1").arg(::geteuid());
}

QString controlSocketPath(const QString &name)
{
    // Named after the root and the service, so two roots never share a socket, whatever the length of their paths.
    const QByteArray root = QFile::encodeName(QFileInfo(rootPath()).canonicalFilePath());
    const QByteArray digest
        = QCryptographicHash::hash(root + '\0' + name.toLower().toUtf8(), QCryptographicHash::Sha256).toHex();
    return controlSocketFolder() + QLatin1Char('/') + QLatin1String(digest.left(32));
}

QString lockFilePath(const QString &name)
{
    return servicePath(name, ".lock");
}

QString recordFilePath(const QString &name)
{
    return servicePath(name, ".record");
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

WinError createService(const ServiceRegistration &registration)
{
    if (!isValidName(registration.name))
        return ErrorInvalidName;
    if (registration.program.isEmpty() && !registration.standIn)
        return ErrorInvalidParameter;
    // Two installers racing each other cannot both succeed. The registration may hold a password.
    if (createFileAtomically(
            servicePath(registration.name, ".service"), formatRegistration(registration), PrivateFileMode))
        return ErrorSuccess;
    return errno == EEXIST ? ErrorServiceExists : ErrorAccessDenied;
}

WinError deleteService(const QString &name)
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

WinError queryConfig(const QString &name, ServiceRegistration *registration)
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

WinError queryState(const QString &name, ServiceState *state, qint64 *pid)
{
    if (!isValidName(name))
        return ErrorInvalidName;
    if (pid)
        *pid = 0;
    // A live lock answers without the service's main thread, which may be busy for long.
    bool held = false;
    ServiceRecord record;
    const WinError status = readServiceLock(name, &held, &record);
    if (status != ErrorSuccess)
        return status;
    if (held) {
        *state = record.state;
        if (pid)
            *pid = record.pid;
        return ErrorSuccess;
    }
    ServiceRegistration registration;
    const WinError read = queryConfig(name, &registration);
    *state = ServiceState::Stopped;
    // Whether a registration that cannot be read is one of the machine's own services is unknown, and so is its state.
    if (read != ErrorSuccess)
        return read == ErrorInvalidData ? ErrorSuccess : read;
    if (registration.standIn) {
        QFile file(standInStatePath(name));
        if (file.open(QIODevice::ReadOnly) && file.readAll().trimmed() == "running")
            *state = ServiceState::Running;
    }
    return ErrorSuccess;
}

WinError startService(const QString &name, int timeoutMs)
{
    ServiceRegistration registration;
    WinError status = queryConfig(name, &registration);
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
        bool held = false;
        ServiceRecord record;
        if (readServiceLock(name, &held, &record) == ErrorSuccess && held && record.pid == pid
            && record.state != ServiceState::StartPending)
            return record.state == ServiceState::Stopped ? ErrorProcessAborted : ErrorSuccess;
        if (!isProcessAlive(pid))
            return ErrorProcessAborted;
        if (deadline.hasExpired())
            return ErrorServiceRequestTimeout;
        QThread::msleep(10);
    }
}

WinError controlService(const QString &name, quint32 control, int timeoutMs)
{
    ServiceRegistration registration;
    const WinError status = queryConfig(name, &registration);
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
    const WinError exchanged = exchange(socket, name, control, deadline, &answer);
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
