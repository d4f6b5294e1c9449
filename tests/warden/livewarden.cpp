#include "livewarden.h"

#include "../cabinet/accountservice.h"
#include "scratchroot.h"

#include "platform/iphelper.h"
#include "platform/machinenetwork.h"
#include "platform/registry.h"
#include "platform/servicemanager.h"
#include "platform/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <csignal>
#include <sys/prctl.h>

using namespace Velmor::Platform;

namespace WardenTest {

Resolver::~Resolver()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool Resolver::start(const QString &logFile, const QStringList &records, const QStringList &options)
{
    QStringList arguments { TestSupport::fixture(QStringLiteral("resolver.py")), QStringLiteral("serve"),
        QStringLiteral("--listen"), QStringLiteral("127.0.0.2:0"), QStringLiteral("--log"), logFile };
    for (const QString &record : records)
        arguments << QStringLiteral("--record") << record;
    arguments += options;
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(30000))
        return false;
    const QList<QByteArray> ready = m_process.readLine().trimmed().split(' ');
    if (ready.value(0) != "ready")
        return false;
    m_port = quint16(ready.value(1).toUInt());
    return m_port != 0;
}

QString nameServer(const QString &adapterId)
{
    Registry::Value value;
    Registry::queryValue(IpHelper::interfaceKey(adapterId), QStringLiteral("NameServer"), &value);
    return value.text;
}

QByteArray digFirst(quint16 proxyPort, int tries, int seconds, bool tcp)
{
    QProcess dig;
    dig.start(QStringLiteral("dig"),
        { QStringLiteral("@127.0.0.1"), QStringLiteral("-p"), QString::number(proxyPort), QStringLiteral("first.test"),
            QStringLiteral("A"), QStringLiteral("+short"), QStringLiteral("+tries=%1").arg(tries),
            QStringLiteral("+time=%1").arg(seconds), tcp ? QStringLiteral("+tcp") : QStringLiteral("+notcp") });
    if (!dig.waitForFinished((tries * seconds + 30) * 1000))
        return "<dig did not end>";
    const QByteArray output = dig.readAllStandardOutput();
    QByteArray answer;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.isEmpty() && !line.startsWith(";;"))
            answer += line + '\n';
    }
    return answer.isEmpty() ? output : answer;
}

LiveWarden::LiveWarden(const AccountService &account, quint16 resolverPort, const QList<SimulatedAdapter> &adapters,
    const QVariantMap &settings)
{
    ipcPort = freePort();
    proxyPort = freePort();
    qputenv("VELMOR_IPC_PORT", QByteArray::number(ipcPort));

    MachineNetwork network;
    for (const SimulatedAdapter &adapter : adapters) {
        MachineAdapter machineAdapter;
        machineAdapter.id = adapter.id;
        machineAdapter.index = quint32(network.adapters.size() + 1);
        machineAdapter.name = adapter.name;
        machineAdapter.type = 6;
        machineAdapter.addresses = QStringList { adapter.address };
        network.adapters.append(machineAdapter);
        // The route's next hop is found among the adapter's gateways.
        const QString gateway = adapter.address.section(QLatin1Char('.'), 0, 2) + QLatin1String(".1");
        MachineRoute route;
        if (adapter.defaultRoute && parseIPv4NetworkOrder(gateway, &route.nextHop)) {
            route.index = machineAdapter.index;
            route.metric = 10;
            network.routes.append(route);
        }
        ensureInterfaceKey(adapter.id, QString(), adapter.defaultRoute ? QStringList { gateway } : QStringList());
        Registry::setString(IpHelper::interfaceKey(adapter.id), QStringLiteral("NameServer"), adapter.nameServer);
    }
    QFile file(machine.path(QStringLiteral("machine.json")));
    if (file.open(QIODevice::WriteOnly))
        file.write(formatMachineNetwork(network));
    file.close();

    QDir().mkpath(machine.path(QStringLiteral("trust")));
    QFile::copy(account.caPath(), machine.path(QStringLiteral("trust/account.pem")));

    // The service's own store, whatever the names of the test's application: the desktop program of a test may
    // have renamed it already.
    useRootSettings();
    const QString store = machine.path(QStringLiteral("settings/Velmor/Service.ini"));
    prepareSettingsFile(store);
    QSettings stored(store, QSettings::IniFormat);
    stored.setValue(QStringLiteral("www"), account.baseUrl());
    stored.setValue(QStringLiteral("vyrproxy-addr"), QStringLiteral("127.0.0.2:%1").arg(resolverPort));
    stored.setValue(QStringLiteral("localproxy-addr"), QStringLiteral("127.0.0.1:%1").arg(proxyPort));
    stored.setValue(QStringLiteral("httpd-port"), 0);
    stored.setValue(QStringLiteral("tokens-enabled"), true);
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        stored.setValue(it.key(), it.value());
    stored.sync();
}

LiveWarden::~LiveWarden()
{
    qunsetenv("VELMOR_IPC_PORT");
}

bool LiveWarden::start()
{
    if (run({ QStringLiteral("-i") }).exitCode != 0)
        return false;
    process = machine.startForeground({});
    ServiceState state = ServiceState::Stopped;
    ServiceManager::queryState(serviceName, &state);
    return state == ServiceState::Running;
}

QString LiveWarden::stopCleanly()
{
    if (ServiceManager::controlService(serviceName, ControlStop, 30000) != 0)
        return QStringLiteral("the stop was refused");
    if (!process->waitForFinished(30000))
        return QStringLiteral("the process did not end");
    const QString err = QString::fromLocal8Bit(process->readAllStandardError());
    if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0
        || err.contains(QLatin1String("Sanitizer")) || err.contains(QLatin1String("runtime error")))
        return QStringLiteral("exit code %1: %2").arg(process->exitCode()).arg(err);
    return QString();
}

} // namespace WardenTest
