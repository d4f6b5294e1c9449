#include "consoletest.h"

#include "fakeservice.h"

#include "app/agent.h"
#include "velmorwire/json.h"
#include "velmorwire/request.h"
#include "velmorwire/requestmanager.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

// Outside any namespace, as the resource macro requires.
static void initConsoleResources()
{
    Q_INIT_RESOURCE(console);
}

namespace ConsoleTest {

QString fixture(const QString &relative)
{
    return qEnvironmentVariable("VELMOR_SOURCE_DIR") + QLatin1String("/tests/fixtures/") + relative;
}

QString program()
{
    return qEnvironmentVariable("VELMOR_BINARY_DIR") + QLatin1String("/bin/velmor-console");
}

void loadResources()
{
    initConsoleResources();
}

void prepareProcess()
{
    // Kept for the life of the process; removed with it by the temporary folder of the system.
    static QTemporaryDir runtime(QDir::tempPath() + QLatin1String("/velmor-console-test-XXXXXX"));
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("XDG_SESSION_ID", "test-" + QByteArray::number(::getpid()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The updater's check at start goes nowhere but to a closed local port, unless a suite runs a test site.
    if (qEnvironmentVariableIsEmpty("VELMOR_VENDOR_SITE"))
        qputenv("VELMOR_VENDOR_SITE", "127.0.0.1:1");
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

Model::Model(const QVariantMap &script)
    : service(std::make_unique<FakeService>())
    , cabinet(&connector)
    , status(&connector, &cabinet)
    , handler(&status, &cabinet)
{
    service->setScript(script);
    if (!service->listen())
        qFatal("the fake service cannot listen");
    qputenv("VELMOR_IPC_PORT", QByteArray::number(service->port()));
    connector.setJsonRPCHandler(&handler);
    connector.connectToService();
}

Model::~Model()
{
    connector.setJsonRPCHandler(nullptr);
    qunsetenv("VELMOR_IPC_PORT");
}

Tray::Tray(const QVariantMap &script)
    : model(script)
    , settingsUnlock(&model.status, &model.cabinet)
    , icon(&model.status, &settingsUnlock, &model.cabinet)
{ }

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
    closeAgent(agent, [this] { return service->openLinks() == 0 && !service->isListening(); });
    service.reset();
    qunsetenv("VELMOR_IPC_PORT");
}

void closeAgent(std::unique_ptr<Agent> &agent, const std::function<bool()> &serviceGone)
{
    // Calls still on their way are answered first, so none outlives the test waiting for its deadline. A call the
    // service took no more (the test stopped it before it read the call) is forgotten instead.
    QDeadlineTimer deadline(5000);
    Velmor::RequestManager *requests = Velmor::RequestManager::instance();
    while (!requests->requests().isEmpty() && !deadline.hasExpired() && !serviceGone())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const QList<Velmor::Request *> unanswered = requests->requests();
    for (Velmor::Request *request : unanswered)
        requests->drop(request);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    agent.reset();
}

PythonService::PythonService(const QVariantMap &script)
{
    const QString path = m_folder.filePath(QStringLiteral("script.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Velmor::Json::stringify(script).toUtf8()) <= 0)
        return;
    file.close();
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"),
        { fixture(QStringLiteral("fake_console_service.py")), QStringLiteral("--script"), path });
    if (!m_process.waitForStarted(30000))
        return;
    QDeadlineTimer deadline(30000);
    while (m_lines.isEmpty() && !deadline.hasExpired() && m_process.waitForReadyRead(int(deadline.remainingTime())))
        lines();
    const QStringList first = m_lines.value(0).split(QLatin1Char(' '));
    if (first.value(0) == QLatin1String("listening"))
        m_port = quint16(first.value(1).toUInt());
}

PythonService::~PythonService()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    command({ { QStringLiteral("quit"), true } });
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

QStringList PythonService::lines()
{
    while (m_process.canReadLine())
        m_lines.append(QString::fromUtf8(m_process.readLine()).trimmed());
    return m_lines;
}

int PythonService::count(const QString &prefix)
{
    int n = 0;
    for (const QString &line : lines())
        n += line.startsWith(prefix);
    return n;
}

void PythonService::push(const QString &method, const QVariantList &params)
{
    command({ { QStringLiteral("push"), QVariantList { method, QVariant(params) } } });
}

void PythonService::stop()
{
    command({ { QStringLiteral("stop"), true } });
}

void PythonService::listen()
{
    command({ { QStringLiteral("listen"), true } });
}

void PythonService::command(const QVariantMap &order)
{
    m_process.write(Velmor::Json::stringify(order).toUtf8() + '\n');
    m_process.waitForBytesWritten(10000);
}

void pushTowards(FakeService *service, int state)
{
    switch (state) {
    case 1:
        service->stop();
        break;
    case 3:
        service->push(QStringLiteral("setIdentificationError"),
            { 1,
                QVariantMap {
                    { QStringLiteral("code"), 31 }, { QStringLiteral("message"), QStringLiteral("down") } } });
        break;
    case 4:
        service->push(QStringLiteral("setNetworks"),
            { QVariantMap {
                { QStringLiteral("defaultRouteId"), QString() }, { QStringLiteral("networks"), QVariantList() } } });
        break;
    case 5:
        service->push(QStringLiteral("setNetworkProtection"), { QStringLiteral("eth0"), false });
        break;
    case 6:
        service->push(QStringLiteral("setGlobalFiltering"), { false });
        break;
    default:
        break;
    }
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

QProcess *Programs::start(const QStringList &arguments, const QProcessEnvironment &environment, const QString &program)
{
    m_processes.push_back(std::make_unique<QProcess>());
    QProcess *process = m_processes.back().get();
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A child of a test that dies goes with it instead of running on unattended.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process->start(program.isEmpty() ? ConsoleTest::program() : program, arguments);
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
