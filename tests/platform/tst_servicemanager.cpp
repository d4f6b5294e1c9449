#include "platform/eventlog.h"
#include "platform/servicecontrolendpoint.h"
#include "platform/servicemanager.h"
#include "platform/winerror.h"

#include "scratchroot.h"

#include <QDeadlineTimer>
#include <QFutureWatcher>
#include <QLocalSocket>
#include <QThread>
#include <QtConcurrent>
#include <QtTest>

#include <memory>

using namespace Velmor::Platform;

// The service manager stand-in: registrations, the machine's DNS client, and the control socket protocol.
class tst_ServiceManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void registrationRoundTrip();
    void registrationErrors_data();
    void registrationErrors();
    void dnsClientRestartIsRecorded();
    void startFailures_data();
    void startFailures();
    void endpointAnswersControls();
    void endpointRefusesControls_data();
    void endpointRefusesControls();
    void oneInstancePerService();
    void stoppedServiceRefusesControls();
    void overlongControlIsCutOff();

private:
    static ServiceRegistration testService()
    {
        ServiceRegistration registration;
        registration.name = QStringLiteral("Test Service");
        registration.program = QStringLiteral("/bin/true");
        return registration;
    }
    // Runs a blocking manager call on a worker while this thread serves the endpoint.
    static WinError controlFromWorker(quint32 control)
    {
        QFutureWatcher<WinError> watcher;
        watcher.setFuture(QtConcurrent::run(
            [control] { return ServiceManager::controlService(QStringLiteral("Test Service"), control, 10000); }));
        [[maybe_unused]] const bool finished = QTest::qWaitFor([&watcher] { return watcher.isFinished(); }, 20000);
        return watcher.isFinished() ? watcher.result() : WinError(0xffffffffu);
    }

    // A running service that accepts every control and reaches the state each one asks for; received lists
    // the controls that reached it.
    static void serveEveryControl(ServiceControlEndpoint &endpoint, QList<quint32> *received)
    {
        endpoint.setAcceptedControls(ServiceControlEndpoint::AcceptStop | ServiceControlEndpoint::AcceptPauseContinue);
        endpoint.setHandler([&endpoint, received](quint32 control) {
            QCOMPARE(QThread::currentThread(), qApp->thread());
            received->append(control);
            if (control == ControlPause)
                endpoint.setState(ServiceState::Paused);
            else if (control == ControlContinue)
                endpoint.setState(ServiceState::Running);
            else if (control == ControlStop)
                endpoint.setState(ServiceState::Stopped);
        });
        endpoint.setState(ServiceState::Running);
    }
    // Writes raw bytes to the control socket from a worker while this thread serves the endpoint, and reads
    // the given number of answer lines.
    static QList<QByteArray> rawExchange(const QByteArray &bytes, int answers)
    {
        QFutureWatcher<QList<QByteArray>> watcher;
        watcher.setFuture(QtConcurrent::run([bytes, answers] {
            QList<QByteArray> lines;
            QLocalSocket socket;
            socket.connectToServer(ServiceManager::controlSocketPath(QStringLiteral("Test Service")));
            if (!socket.waitForConnected(10000))
                return lines;
            socket.write(bytes);
            while (lines.size() < answers) {
                if (!socket.canReadLine() && !socket.waitForReadyRead(10000))
                    return lines;
                while (socket.canReadLine())
                    lines.append(socket.readLine().trimmed());
            }
            return lines;
        }));
        [[maybe_unused]] const bool finished = QTest::qWaitFor([&watcher] { return watcher.isFinished(); }, 20000);
        return watcher.isFinished() ? watcher.result() : QList<QByteArray>();
    }

    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_ServiceManager::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
}

void tst_ServiceManager::cleanup()
{
    m_root.reset();
}

void tst_ServiceManager::registrationRoundTrip()
{
    ServiceRegistration registration = testService();
    registration.displayName = QStringLiteral("Test\tService");
    registration.description = QStringLiteral("line one\nline two \\ end");
    registration.arguments = { QStringLiteral("--pidfile=/run/x y.pid"), QStringLiteral("-v") };
    registration.account = QStringLiteral(".\\alice");
    registration.password = QStringLiteral("p\u00e4ss\tword");
    registration.type = ServiceRegistration::OwnProcess;
    registration.startType = ServiceRegistration::AutomaticStart;
    registration.dependencies = { QStringLiteral("Tcpip"), QStringLiteral("Dnscache") };
    QCOMPARE(ServiceManager::createService(registration), ErrorSuccess);

    ServiceRegistration read;
    QCOMPARE(ServiceManager::queryConfig(QStringLiteral("TEST service"), &read), ErrorSuccess);
    QCOMPARE(read.name, registration.name);
    QCOMPARE(read.displayName, registration.displayName);
    QCOMPARE(read.description, registration.description);
    QCOMPARE(read.program, registration.program);
    QCOMPARE(read.arguments, registration.arguments);
    QCOMPARE(read.account, registration.account);
    QCOMPARE(read.password, registration.password);
    QCOMPARE(read.type, registration.type);
    QCOMPARE(read.startType, registration.startType);
    QCOMPARE(read.dependencies, registration.dependencies);
    QVERIFY(!read.standIn);
    // It may hold a password.
    QCOMPARE(QFile(m_root->path("services/test service.service")).permissions() & 0x0077, 0);

    QCOMPARE(ServiceManager::createService(registration), ErrorServiceExists);
    registration.name = QStringLiteral("test SERVICE");
    QCOMPARE(ServiceManager::createService(registration), ErrorServiceExists);
    QCOMPARE(ServiceManager::deleteService(QStringLiteral("Test Service")), ErrorSuccess);
    QCOMPARE(ServiceManager::queryConfig(QStringLiteral("Test Service"), &read), ErrorServiceDoesNotExist);
    QCOMPARE(ServiceManager::deleteService(QStringLiteral("Test Service")), ErrorServiceDoesNotExist);
}

void tst_ServiceManager::registrationErrors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("program");
    QTest::addColumn<WinError>("status");
    QTest::newRow("empty name") << ""
                                << "/bin/true" << ErrorInvalidName;
    QTest::newRow("slash") << "../escape"
                           << "/bin/true" << ErrorInvalidName;
    QTest::newRow("backslash") << "a\\b"
                               << "/bin/true" << ErrorInvalidName;
    QTest::newRow("line feed") << "a\nb"
                               << "/bin/true" << ErrorInvalidName;
    QTest::newRow("too long") << QString(257, QLatin1Char('n')) << "/bin/true" << ErrorInvalidName;
    QTest::newRow("no program") << "Name"
                                << "" << ErrorInvalidParameter;
}

void tst_ServiceManager::registrationErrors()
{
    QFETCH(QString, name);
    QFETCH(QString, program);
    QFETCH(WinError, status);
    ServiceRegistration registration;
    registration.name = name;
    registration.program = program;
    QCOMPARE(ServiceManager::createService(registration), status);
    QStringList registrations = QDir(m_root->path("services")).entryList({ "*.service" });
    registrations.removeAll(QStringLiteral("dnscache.service"));
    QCOMPARE(registrations, QStringList());
}

void tst_ServiceManager::dnsClientRestartIsRecorded()
{
    ServiceRegistration registration;
    QCOMPARE(ServiceManager::queryConfig(QStringLiteral("dnscache"), &registration), ErrorSuccess);
    QCOMPARE(registration.name, QStringLiteral("Dnscache"));
    QVERIFY(registration.standIn);
    ServiceState state = ServiceState::Stopped;
    QCOMPARE(ServiceManager::queryState(QStringLiteral("Dnscache"), &state), ErrorSuccess);
    QCOMPARE(state, ServiceState::Running);
    QCOMPARE(ServiceManager::standInHistory(QStringLiteral("Dnscache")), QStringList());

    QCOMPARE(ServiceManager::startService(QStringLiteral("Dnscache")), ErrorServiceAlreadyRunning);
    QCOMPARE(ServiceManager::controlService(QStringLiteral("Dnscache"), ControlStop), ErrorSuccess);
    QCOMPARE(ServiceManager::queryState(QStringLiteral("Dnscache"), &state), ErrorSuccess);
    QCOMPARE(state, ServiceState::Stopped);
    QCOMPARE(ServiceManager::controlService(QStringLiteral("Dnscache"), ControlStop), ErrorServiceNotActive);
    QCOMPARE(ServiceManager::startService(QStringLiteral("dnscache")), ErrorSuccess);
    QCOMPARE(ServiceManager::controlService(QStringLiteral("Dnscache"), ControlPause), ErrorInvalidServiceControl);
    QCOMPARE(ServiceManager::standInHistory(QStringLiteral("Dnscache")), QStringList({ "stop", "start" }));

    QStringList log;
    const QList<EventLog::Entry> entries = EventLog::entries();
    for (const EventLog::Entry &entry : entries)
        log.append(entry.source + ": " + entry.text);
    QCOMPARE(log,
        QStringList({ "Service Control Manager: The Dnscache service entered the stopped state.",
            "Service Control Manager: The Dnscache service entered the running state." }));
}

void tst_ServiceManager::startFailures_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<WinError>("status");
    QTest::newRow("missing program") << "/nonexistent/velmor-warden" << ErrorFileNotFound;
    QTest::newRow("program ends at once") << "/bin/true" << ErrorProcessAborted;
}

void tst_ServiceManager::startFailures()
{
    QFETCH(QString, program);
    QFETCH(WinError, status);
    ServiceRegistration registration = testService();
    registration.program = program;
    QCOMPARE(ServiceManager::createService(registration), ErrorSuccess);
    QCOMPARE(ServiceManager::startService(registration.name, 20000), status);
    QCOMPARE(ServiceManager::startService(QStringLiteral("Nobody"), 20000), ErrorServiceDoesNotExist);
}

void tst_ServiceManager::endpointAnswersControls()
{
    QCOMPARE(ServiceManager::createService(testService()), ErrorSuccess);
    ServiceControlEndpoint endpoint(QStringLiteral("Test Service"));
    QVERIFY(endpoint.listen());
    QList<quint32> received;
    serveEveryControl(endpoint, &received);

    QCOMPARE(controlFromWorker(ControlInterrogate), ErrorSuccess);
    QCOMPARE(controlFromWorker(ControlPause), ErrorSuccess);
    QCOMPARE(endpoint.state(), ServiceState::Paused);
    QCOMPARE(controlFromWorker(FirstUserControl + 5), ErrorSuccess);
    QCOMPARE(received, QList<quint32>({ ControlPause, FirstUserControl + 5 }));

    QFutureWatcher<WinError> watcher;
    ServiceState state = ServiceState::Stopped;
    qint64 pid = 0;
    watcher.setFuture(QtConcurrent::run([&] { return ServiceManager::queryState("test service", &state, &pid); }));
    QTRY_VERIFY_WITH_TIMEOUT(watcher.isFinished(), 20000);
    QCOMPARE(watcher.result(), ErrorSuccess);
    QCOMPARE(state, ServiceState::Paused);
    QCOMPARE(pid, QCoreApplication::applicationPid());
}

void tst_ServiceManager::endpointRefusesControls_data()
{
    QTest::addColumn<quint32>("accepted");
    QTest::addColumn<int>("state");
    QTest::addColumn<quint32>("control");
    QTest::addColumn<WinError>("status");
    const quint32 all = ServiceControlEndpoint::AcceptStop | ServiceControlEndpoint::AcceptPauseContinue;
    const int running = int(ServiceState::Running);
    QTest::newRow("pause not accepted") << quint32(ServiceControlEndpoint::AcceptStop) << running
                                        << quint32(ControlPause) << ErrorInvalidServiceControl;
    QTest::newRow("stop not accepted") << quint32(ServiceControlEndpoint::AcceptPauseContinue) << running
                                       << quint32(ControlStop) << ErrorInvalidServiceControl;
    QTest::newRow("still starting") << all << int(ServiceState::StartPending) << quint32(ControlPause)
                                    << ErrorServiceCannotAcceptControl;
    QTest::newRow("no such control") << all << running << 99u << ErrorInvalidParameter;
    QTest::newRow("beyond user controls") << all << running << 256u << ErrorInvalidParameter;
}

void tst_ServiceManager::endpointRefusesControls()
{
    QFETCH(quint32, accepted);
    QFETCH(int, state);
    QFETCH(quint32, control);
    QFETCH(WinError, status);
    QCOMPARE(ServiceManager::createService(testService()), ErrorSuccess);
    ServiceControlEndpoint endpoint(QStringLiteral("Test Service"));
    QVERIFY(endpoint.listen());
    endpoint.setAcceptedControls(accepted);
    bool handled = false;
    endpoint.setHandler([&](quint32) { handled = true; });
    endpoint.setState(ServiceState(state));

    QCOMPARE(controlFromWorker(control), status);
    QVERIFY(!handled);
}

void tst_ServiceManager::oneInstancePerService()
{
    QCOMPARE(ServiceManager::createService(testService()), ErrorSuccess);
    // A socket file left by an instance that crashed does not keep the next one out.
    QFile stale(ServiceManager::controlSocketPath(QStringLiteral("Test Service")));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();

    auto first = std::make_unique<ServiceControlEndpoint>(QStringLiteral("Test Service"));
    QVERIFY(first->listen());
    ServiceControlEndpoint second(QStringLiteral("test service"));
    QVERIFY(!second.listen());
    QCOMPARE(second.error(), ErrorServiceAlreadyRunning);

    first.reset();
    ServiceControlEndpoint third(QStringLiteral("Test Service"));
    QVERIFY(third.listen());
}

void tst_ServiceManager::stoppedServiceRefusesControls()
{
    QCOMPARE(ServiceManager::createService(testService()), ErrorSuccess);
    ServiceControlEndpoint endpoint(QStringLiteral("Test Service"));
    QVERIFY(endpoint.listen());
    QList<quint32> received;
    serveEveryControl(endpoint, &received);

    // Lines behind a stop, in the same write, reach the service before its process ends.
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
    QCOMPARE(rawExchange("1\n2\n3\n1\n130\n4\n", 6),
        QList<QByteArray>(
            { "0 1 " + pid, "1062 1 " + pid, "1062 1 " + pid, "1062 1 " + pid, "1062 1 " + pid, "0 1 " + pid }));
    QCOMPARE(received, QList<quint32>({ ControlStop }));
}

void tst_ServiceManager::overlongControlIsCutOff()
{
    QCOMPARE(ServiceManager::createService(testService()), ErrorSuccess);
    ServiceControlEndpoint endpoint(QStringLiteral("Test Service"));
    QVERIFY(endpoint.listen());
    bool handled = false;
    endpoint.setHandler([&](quint32) { handled = true; });
    endpoint.setState(ServiceState::Running);

    // A text without a line end is never a control; the service drops the connection instead of buffering it.
    QFutureWatcher<bool> watcher;
    watcher.setFuture(QtConcurrent::run([] {
        QLocalSocket socket;
        socket.connectToServer(ServiceManager::controlSocketPath(QStringLiteral("Test Service")));
        if (!socket.waitForConnected(10000))
            return false;
        socket.write(QByteArray(1 << 20, '7'));
        const QDeadlineTimer deadline(10000);
        while (socket.state() != QLocalSocket::UnconnectedState && !deadline.hasExpired()) {
            if (socket.bytesToWrite() > 0)
                socket.waitForBytesWritten(100);
            else
                socket.waitForDisconnected(100);
        }
        return socket.state() == QLocalSocket::UnconnectedState;
    }));
    QTRY_VERIFY_WITH_TIMEOUT(watcher.isFinished(), 20000);
    QVERIFY(watcher.result());
    QVERIFY(!handled);
    // Other clients are still served.
    QCOMPARE(controlFromWorker(ControlInterrogate), ErrorSuccess);
}

QTEST_GUILESS_MAIN(tst_ServiceManager)
#include "tst_servicemanager.moc"
