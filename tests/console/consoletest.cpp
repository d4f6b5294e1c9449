#include "consoletest.h"

#include "fakeservice.h"

#include "shell/agent.h"
#include "velmorwire/json.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace ConsoleTest {

QString fixture(const QString &relative)
{
    return qEnvironmentVariable("VELMOR_SOURCE_DIR") + QLatin1String("/tests/fixtures/") + relative;
}

QString program()
{
    return qEnvironmentVariable("VELMOR_BINARY_DIR") + QLatin1String("/bin/velmor-console");
}

void prepareProcess()
{
    // Kept for the life of the process; removed with it by the temporary folder of the system.
    static QTemporaryDir runtime(QDir::tempPath() + QLatin1String("/velmor-console-test-XXXXXX"));
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("XDG_SESSION_ID", "test-" + QByteArray::number(::getpid()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

Machine::Machine()
{
    qputenv("VELMOR_ROOT", QFile::encodeName(m_root.path()));
}

Machine::~Machine()
{
    qunsetenv("VELMOR_ROOT");
}

QProcessEnvironment Machine::environment(quint16 servicePort) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMOR_ROOT"), m_root.path());
    environment.insert(QStringLiteral("VELMOR_IPC_PORT"), QString::number(servicePort));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

Desktop::Desktop(const QVariantMap &script, bool laterStart)
    : service(std::make_unique<FakeService>())
{
    if (laterStart) {
        QFile settings(machine.path() + QLatin1String("/settings/Velmor/Agent.ini"));
        QDir().mkpath(machine.path() + QLatin1String("/settings/Velmor"));
        if (!settings.open(QIODevice::WriteOnly) || settings.write("[General]\nfirststart=false\n") <= 0)
            qFatal("cannot write the settings of a later start");
    }
    service->setScript(script);
    if (!service->listen())
        qFatal("the fake service cannot listen");
    qputenv("VELMOR_IPC_PORT", QByteArray::number(service->port()));
    agent = std::make_unique<Agent>();
}

Desktop::~Desktop()
{
    agent.reset();
    service.reset();
    qunsetenv("VELMOR_IPC_PORT");
}

QVariantMap script(const QString &name)
{
    QFile file(fixture(QLatin1String("console_service/") + name + QLatin1String(".json")));
    if (!file.open(QIODevice::ReadOnly))
        return QVariantMap();
    return Velmor::Json::parse(QString::fromUtf8(file.readAll())).toMap();
}

QVariantMap withPush(QVariantMap script, const QString &method, const QVariant &params)
{
    QVariantList push = script.value(QStringLiteral("push")).toList();
    for (qsizetype i = 0; i < push.size(); ++i) {
        if (push.at(i).toList().value(0).toString() != method)
            continue;
        if (params.isValid())
            push[i] = QVariantList { method, params };
        else
            push.removeAt(i);
        break;
    }
    script.insert(QStringLiteral("push"), push);
    return script;
}

Programs::~Programs()
{
    for (const std::unique_ptr<QProcess> &process : m_processes) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(30000);
        }
    }
}

QProcess *Programs::start(const QStringList &arguments, const QProcessEnvironment &environment)
{
    m_processes.push_back(std::make_unique<QProcess>());
    QProcess *process = m_processes.back().get();
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A child of a test that dies goes with it instead of running on unattended.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process->start(program(), arguments);
    process->waitForStarted(30000);
    return process;
}

int exitCode(QProcess *process, int msec)
{
    if (process->state() != QProcess::NotRunning && !process->waitForFinished(msec))
        return -1;
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

} // namespace ConsoleTest
