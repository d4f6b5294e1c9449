#include "wardentest.h"

#include "platform/eventlog.h"
#include "platform/servicemanager.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QThread>
#include <QUdpSocket>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace WardenTest {

using namespace Velmor::Platform;

namespace {

// A child of a test that dies (a crash, a sanitizer report) goes with it instead of running on unattended.
void endWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// The first port the kernel hands out to sockets bound without one.
int firstUnnamedPort()
{
    QFile ranges(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    bool ok = false;
    const int low = ranges.open(QIODevice::ReadOnly) ? ranges.readAll().simplified().split(' ').value(0).toInt(&ok) : 0;
    return ok ? low : 32768;
}

} // namespace

quint16 freePort(const QHostAddress &address)
{
    // Below the kernel's range for unnamed ports: between this pick and the service's bind, the many connections the
    // suites running beside this one open cannot be given the same port.
    const int low = firstUnnamedPort();
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int candidate
            = attempt < 100 && low > 10000 ? 10000 + int(QRandomGenerator::global()->bounded(low - 10000)) : 0;
        QTcpServer tcp;
        if (!tcp.listen(address, quint16(candidate)))
            continue;
        QUdpSocket udp;
        if (udp.bind(address, tcp.serverPort()))
            return tcp.serverPort();
    }
    return 0;
}

QString program()
{
    return qEnvironmentVariable("VELMOR_BINARY_DIR") + QLatin1String("/bin/velmor-warden");
}

Result run(const QStringList &arguments, const QString &programPath)
{
    QProcess process;
    endWithParent(process);
    process.start(programPath, arguments);
    Result result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

int runAsNobody(const QString &shellCommand)
{
    QProcess process;
    endWithParent(process);
    process.start(QStringLiteral("setpriv"),
        { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
            QStringLiteral("--"), QStringLiteral("/bin/sh"), QStringLiteral("-c"), shellCommand });
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool isRoot()
{
    return ::geteuid() == 0;
}

QStringList logOf(const QString &source)
{
    QStringList lines;
    const QList<EventLog::Entry> entries = EventLog::entries();
    for (const EventLog::Entry &entry : entries) {
        if (entry.source == source)
            lines.append(EventLog::typeName(entry.type) + QLatin1String(": ") + entry.text);
    }
    return lines;
}

QStringList hostLogOf(const QString &source)
{
    QStringList lines = logOf(source);
    lines.removeIf([](const QString &line) {
        return line.startsWith(QLatin1String("Information: No pofile whith this id:"))
            || line.startsWith(QLatin1String("Warning: cabinet request failed: "))
            // Qt's own note when a host lookup ends after its request was taken back: the account service's test
            // hosts do not resolve, and whether the lookup ends before the service stops is a race.
            || line.startsWith(QLatin1String("Information: QHttpNetworkConnectionPrivate::"));
    });
    return lines;
}

namespace {

ServiceState stateOf(const QString &name, qint64 *pid)
{
    ServiceState state = ServiceState::Stopped;
    ServiceManager::queryState(name, &state, pid);
    return state;
}

// A process the service manager started is not our child: stop it through the manager, else kill it by its id.
void endDetachedService(const QString &name)
{
    qint64 pid = 0;
    if (stateOf(name, &pid) == ServiceState::Stopped)
        return;
    if (ServiceManager::controlService(name, ControlStop, 10000) == 0)
        return;
    if (pid > 0) {
        ::kill(pid_t(pid), SIGKILL);
        const QDeadlineTimer deadline(10000);
        while (::kill(pid_t(pid), 0) == 0 && !deadline.hasExpired())
            QThread::msleep(10);
    }
}

} // namespace

Machine::Machine()
{
    qputenv("VELMOR_ROOT", QFile::encodeName(m_root.path()));
    // Suites run side by side: each service listens on a port of its own.
    qputenv("VELMOR_IPC_PORT", QByteArray::number(freePort()));
}

Machine::~Machine()
{
    for (const std::unique_ptr<QProcess> &child : m_children) {
        if (child->state() != QProcess::NotRunning) {
            child->kill();
            child->waitForFinished(30000);
        }
    }
    const QStringList registrations = QDir(path(QStringLiteral("services"))).entryList({ QStringLiteral("*.service") });
    for (const QString &file : registrations) {
        ServiceRegistration registration;
        if (ServiceManager::queryConfig(file.chopped(int(qstrlen(".service"))), &registration) == 0
            && !registration.standIn)
            endDetachedService(registration.name);
    }
    qunsetenv("VELMOR_ROOT");
    qunsetenv("VELMOR_IPC_PORT");
}

QProcess *Machine::startForeground(const QStringList &arguments, bool waitForService, const QString &programPath)
{
    m_children.push_back(std::make_unique<QProcess>());
    QProcess *process = m_children.back().get();
    endWithParent(*process);
    process->start(programPath, arguments);
    if (!process->waitForStarted(30000))
        return process;
    if (!waitForService)
        return process;
    const QDeadlineTimer deadline(30000);
    qint64 pid = 0;
    while (!(stateOf(serviceName, &pid) == ServiceState::Running && pid == process->processId())
        && !deadline.hasExpired() && process->state() == QProcess::Running)
        QThread::msleep(10);
    return process;
}

} // namespace WardenTest
