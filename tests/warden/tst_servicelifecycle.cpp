#include "wardentest.h"

#include "core/servicecontroller.h"
#include "platform/servicemanager.h"

#include <QFile>
#include <QtTest>

#include <csignal>

using namespace Velmor::Platform;
using WardenTest::Machine;
using WardenTest::run;

// velmor-warden running as the service: controls through the service manager, signals, the pid file.
class tst_ServiceLifecycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlsReachTheService();
    void secondInstanceCannotStart();
    void terminationSignalStops_data();
    void terminationSignalStops();
    void pidFileFirstMatchWins();
    void unwritablePidFileIsOnlyAWarning();
    void controllerStartRunsTheRegisteredCommandLine();

private:
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static QStringList managerLog() { return WardenTest::logOf(QStringLiteral("Service Control Manager")); }
};

void tst_ServiceLifecycle::controlsReachTheService()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    const QString pidFile = machine.path(QStringLiteral("warden.pid"));
    QProcess *service = machine.startForeground({ QStringLiteral("--pidfile=") + pidFile });
    QCOMPARE(service->state(), QProcess::Running);
    QCOMPARE(readFile(pidFile), QByteArray::number(service->processId()));
    QVERIFY(run({ QStringLiteral("-v") }).out.endsWith("is installed and running\n\n"));

    QCOMPARE(run({ QStringLiteral("-p") }).exitCode, 0);
    QCOMPARE(readFile(pidFile), QByteArray::number(service->processId()));
    QVERIFY(run({ QStringLiteral("-v") }).out.endsWith("is installed and running\n\n"));
    QCOMPARE(run({ QStringLiteral("-c"), QStringLiteral("not a number") }).exitCode, 0);
    QCOMPARE(run({ QStringLiteral("-command"), QStringLiteral("42") }).exitCode, 0);
    QCOMPARE(run({ QStringLiteral("-r") }).exitCode, 0);

    const WardenTest::Result stop = run({ QStringLiteral("-t") });
    QCOMPARE(stop.exitCode, 0);
    QCOMPARE(stop.err, QByteArray());
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 0);
    QCOMPARE(service->readAllStandardOutput(), QByteArray());
    QCOMPARE(service->readAllStandardError(), QByteArray());
    QVERIFY(!QFile::exists(pidFile));

    QCOMPARE(managerLog(),
        QStringList({ "Information: The Velmor Agent service entered the running state.",
            "Information: The Velmor Agent service was successfully sent a pause control.",
            "Information: The Velmor Agent service entered the paused state.",
            "Information: The Velmor Agent service was successfully sent the user command 0.",
            "Information: The Velmor Agent service was successfully sent the user command 42.",
            "Information: The Velmor Agent service was successfully sent a continue control.",
            "Information: The Velmor Agent service entered the running state.",
            "Information: The Velmor Agent service was successfully sent a stop control.",
            "Information: The Velmor Agent service entered the stopped state." }));
    QCOMPARE(WardenTest::logOf(QStringLiteral("Velmor Agent")), QStringList());
    QVERIFY(run({ QStringLiteral("-v") }).out.endsWith("is installed and not running\n\n"));
}

void tst_ServiceLifecycle::secondInstanceCannotStart()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *first = machine.startForeground({});
    QCOMPARE(first->state(), QProcess::Running);

    const WardenTest::Result second = run({});
    QCOMPARE(second.err, QByteArray("The service Velmor Agent could not start\n"));
    QCOMPARE(second.exitCode, 252);
    Velmor::ServiceController controller(QStringLiteral("Velmor Agent"));
    QVERIFY(!controller.start());
    QCOMPARE(controller.error(), 1056u);
    QVERIFY(controller.isRunning());
}

void tst_ServiceLifecycle::terminationSignalStops_data()
{
    QTest::addColumn<bool>("asService");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("service, SIGTERM") << true << int(SIGTERM);
    QTest::newRow("service, SIGINT") << true << int(SIGINT);
    QTest::newRow("-e, SIGTERM") << false << int(SIGTERM);
    QTest::newRow("-e, SIGINT") << false << int(SIGINT);
}

void tst_ServiceLifecycle::terminationSignalStops()
{
    QFETCH(bool, asService);
    QFETCH(int, signalNumber);
    Machine machine;
    const QString pidFile = machine.path(QStringLiteral("warden.pid"));
    QStringList arguments { QStringLiteral("--pidfile=") + pidFile };
    if (asService)
        QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    else
        arguments.prepend(QStringLiteral("-e"));
    QProcess *service = machine.startForeground(arguments, asService);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile), 30000);

    ::kill(pid_t(service->processId()), signalNumber);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 0);
    QVERIFY(!QFile::exists(pidFile));
    const QStringList expected = asService
        ? QStringList { "Information: The Velmor Agent service entered the running state.",
              "Information: The Velmor Agent service entered the stopped state." }
        : QStringList();
    QCOMPARE(managerLog(), expected);
}

void tst_ServiceLifecycle::pidFileFirstMatchWins()
{
    Machine machine;
    const QString first = machine.path(QStringLiteral("first.pid"));
    const QString second = machine.path(QStringLiteral("second.pid"));
    QProcess *service = machine.startForeground(
        { QStringLiteral("-e"), QStringLiteral("--pidfile=") + first, QStringLiteral("--pidfile=") + second }, false);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(first), 30000);
    QCOMPARE(readFile(first), QByteArray::number(service->processId()));
    QVERIFY(!QFile::exists(second));
    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(30000));
    QVERIFY(!QFile::exists(first));
}

void tst_ServiceLifecycle::unwritablePidFileIsOnlyAWarning()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *service = machine.startForeground({ QStringLiteral("--pidfile=") + machine.path("no/such/dir/x.pid") });
    QCOMPARE(service->state(), QProcess::Running);
    const QStringList log = WardenTest::logOf(QStringLiteral("Velmor Agent"));
    QCOMPARE(log.size(), 1);
    QVERIFY2(log.first().startsWith("Warning: failed to write pid file: "), qPrintable(log.first()));
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitCode(), 0);
}

void tst_ServiceLifecycle::controllerStartRunsTheRegisteredCommandLine()
{
    Machine machine;
    ServiceRegistration registration;
    registration.name = QStringLiteral("Velmor Agent");
    registration.program = WardenTest::program();
    const QString pidFile = machine.path(QStringLiteral("registered.pid"));
    registration.arguments = { QStringLiteral("--pidfile=") + pidFile };
    QCOMPARE(ServiceManager::createService(registration), 0u);

    Velmor::ServiceController controller(QStringLiteral("Velmor Agent"));
    QVERIFY(controller.isInstalled());
    QVERIFY(!controller.isRunning());
    QVERIFY(controller.start());
    QVERIFY(controller.isRunning());
    ServiceState state = ServiceState::Stopped;
    qint64 pid = 0;
    QCOMPARE(ServiceManager::queryState(registration.name, &state, &pid), 0u);
    QCOMPARE(state, ServiceState::Running);
    // The manager passes no start parameters: the command line is the registered one, nothing more.
    QCOMPARE(readFile(QStringLiteral("/proc/%1/cmdline").arg(pid)),
        QFile::encodeName(registration.program) + '\0' + QFile::encodeName(registration.arguments.first()) + '\0');
    QCOMPARE(readFile(pidFile), QByteArray::number(pid));

    QVERIFY(controller.pause());
    QVERIFY(controller.isRunning());
    QVERIFY(controller.resume());
    QVERIFY(controller.sendCommand(127));
    QVERIFY(!controller.sendCommand(128));
    QVERIFY(controller.stop());
    QVERIFY(!controller.isRunning());
    QVERIFY(!QFile::exists(pidFile));
    QVERIFY(!controller.stop());
    QCOMPARE(controller.error(), 1062u);
}

QTEST_GUILESS_MAIN(tst_ServiceLifecycle)
#include "tst_servicelifecycle.moc"
