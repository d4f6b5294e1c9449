#include "wardentest.h"

#include "platform/servicemanager.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <csignal>

using namespace Velmor::Platform;
using WardenTest::Machine;
using WardenTest::run;

// The switches of velmor-warden that act without a running service: texts, exit codes and registrations.
class tst_ServiceCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void help_data();
    void help();
    void unknownOptionStartsNothing_data();
    void unknownOptionStartsNothing();
    void version();
    void install_data();
    void install();
    void installTwiceKeepsTheRegistration();
    void installFailure();
    void uninstall();
    void unreadableRegistrationCanBeUninstalled();
    void startWithoutRegistration_data();
    void startWithoutRegistration();
    void controlsWithoutRunningService_data();
    void controlsWithoutRunningService();
    void commandThatIsNoCommand_data();
    void commandThatIsNoCommand();
    void versionSeesABusyService();
    void versionReportsAccessDenied();

private:
    static QByteArray usage();
    static QByteArray registrationFile(const Machine &machine)
    {
        QFile file(machine.path(QStringLiteral("services/velmor agent.service")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

void tst_ServiceCommandLine::help_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("short") << "-h";
    QTest::newRow("long") << "-help";
    QTest::newRow("GNU long") << "--help";
}

QByteArray tst_ServiceCommandLine::usage()
{
    return "\n" + WardenTest::program().toLocal8Bit()
        + " -[i|u|e|t|p|r|c|v|h] [--pidfile=file]\n"
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
}

void tst_ServiceCommandLine::help()
{
    QFETCH(QString, option);
    Machine machine;
    const WardenTest::Result result = run({ option });
    QCOMPARE(result.out, usage());
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(result.exitCode, 0);
}

void tst_ServiceCommandLine::unknownOptionStartsNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown switch") << QStringList { "-x" };
    QTest::newRow("unknown long option") << QStringList { "--version" };
    QTest::newRow("a word") << QStringList { "start" };
    QTest::newRow("pid file without its =") << QStringList { "--pidfile" };
}

void tst_ServiceCommandLine::unknownOptionStartsNothing()
{
    QFETCH(QStringList, arguments);
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    const QStringList logBefore = WardenTest::logOf(WardenTest::serviceName);

    const WardenTest::Result result = run(arguments);
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.err, usage());
    QCOMPARE(result.exitCode, 2);
    // Nothing ran: no lock was taken, nothing was logged.
    QVERIFY(!QFile::exists(machine.path(QStringLiteral("services/velmor agent.lock"))));
    QCOMPARE(WardenTest::logOf(WardenTest::serviceName), logBefore);
    QCOMPARE(WardenTest::logOf(QStringLiteral("Service Control Manager")), QStringList());
}

void tst_ServiceCommandLine::version()
{
    Machine machine;
    const QByteArray head = "The service\n\tVelmor Agent\n\t" + WardenTest::program().toLocal8Bit()
        + "\n\tversion " VELMOR_VERSION "\n\n";

    WardenTest::Result result = run({ QStringLiteral("-v") });
    QCOMPARE(result.out, head + "is not installed and not running\n\n");
    QCOMPARE(result.exitCode, 0);

    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    result = run({ QStringLiteral("-version") });
    QCOMPARE(result.out, head + "is installed and not running\n\n");
    QCOMPARE(result.exitCode, 0);
}

void tst_ServiceCommandLine::install_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<quint32>("type");
    QTest::addColumn<QStringList>("dependencies");

    const quint32 own = 0x10;
    const quint32 interactive = 0x110;
    const QStringList both { QStringLiteral("Dnscache"), QStringLiteral("Tcpip") };
    QTest::newRow("no account") << QStringList { "-i" } << ""
                                << "" << interactive << QStringList();
    QTest::newRow("local account") << QStringList { "-install", "alice", "secret" } << ".\\alice"
                                   << "secret" << own << QStringList();
    QTest::newRow("account without password") << QStringList { "-i", "alice" } << ".\\alice"
                                              << "" << own << QStringList();
    QTest::newRow("domain account") << QStringList { "-i", "CORP\\bob", "pw" } << "CORP\\bob"
                                    << "pw" << own << QStringList();
    QTest::newRow("LocalSystem is no account") << QStringList { "-i", "LocalSystem", "pw" } << ""
                                               << "" << interactive << QStringList();
    QTest::newRow("local LocalSystem") << QStringList { "-i", ".\\LocalSystem" } << ""
                                       << "" << interactive << QStringList();
    QTest::newRow("other case of LocalSystem") << QStringList { "-i", "localsystem" } << ".\\localsystem"
                                               << "" << own << QStringList();
    QTest::newRow("-d before account") << QStringList { "-i", "-d", "Dnscache", "-d", "Tcpip", "alice", "secret" }
                                       << ".\\alice"
                                       << "secret" << own << both;
    QTest::newRow("-d between") << QStringList { "-i", "alice", "-d", "Dnscache", "secret", "-d", "Tcpip" }
                                << ".\\alice"
                                << "secret" << own << both;
    QTest::newRow("-d after password") << QStringList { "-i", "alice", "secret", "-d", "Dnscache", "-d", "Tcpip" }
                                       << ".\\alice"
                                       << "secret" << own << both;
    QTest::newRow("-d without account") << QStringList { "-i", "-d", "Tcpip", "-d", "Dnscache" } << ""
                                        << "" << interactive << QStringList { "Tcpip", "Dnscache" };
    QTest::newRow("trailing -d is dropped") << QStringList { "-i", "alice", "secret", "-d" } << ".\\alice"
                                            << "secret" << own << QStringList();
}

void tst_ServiceCommandLine::install()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(quint32, type);
    QFETCH(QStringList, dependencies);
    Machine machine;

    const WardenTest::Result result = run(arguments);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.err, QByteArray());
    const QString path = QFileInfo(WardenTest::program()).canonicalFilePath();
    QCOMPARE(result.out, "The service Velmor Agent has been installed under: " + path.toLocal8Bit() + "\n");

    ServiceRegistration registration;
    QCOMPARE(ServiceManager::queryConfig(QStringLiteral("Velmor Agent"), &registration), 0u);
    QCOMPARE(registration.name, QStringLiteral("Velmor Agent"));
    QCOMPARE(registration.displayName, QStringLiteral("Velmor Agent"));
    QCOMPARE(registration.description,
        QStringLiteral("Velmor Agent backend. Handles DNS settings on local system "
                       "and user filtering preferences"));
    QCOMPARE(registration.program, path);
    QCOMPARE(registration.arguments, QStringList());
    QCOMPARE(registration.startType, quint32(ServiceRegistration::AutomaticStart));
    QCOMPARE(registration.account, account);
    QCOMPARE(registration.password, password);
    QCOMPARE(registration.type, type);
    QCOMPARE(registration.dependencies, dependencies);
}

void tst_ServiceCommandLine::installTwiceKeepsTheRegistration()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i"), QStringLiteral("alice"), QStringLiteral("secret") }).exitCode, 0);
    const QByteArray before = registrationFile(machine);
    QVERIFY(!before.isEmpty());

    const WardenTest::Result result = run({ QStringLiteral("-i"), QStringLiteral("-d"), QStringLiteral("Tcpip") });
    QCOMPARE(result.err, QByteArray("The service Velmor Agent is already installed\n"));
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(registrationFile(machine), before);
}

void tst_ServiceCommandLine::installFailure()
{
    Machine machine;
    // A plain file where the service manager keeps its registrations: creating one fails even for root.
    QFile blocker(machine.path(QStringLiteral("services")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const WardenTest::Result result = run({ QStringLiteral("-i") });
    QCOMPARE(QString::fromLocal8Bit(result.err),
        QStringLiteral("The service Velmor Agent could not be installed: Access is denied. (%1)\n")
            .arg(machine.path(QStringLiteral("services"))));
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.exitCode, 255);
}

void tst_ServiceCommandLine::uninstall()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);

    WardenTest::Result result = run({ QStringLiteral("-u") });
    QCOMPARE(result.out, QByteArray("The service Velmor Agent has been uninstalled.\n"));
    QCOMPARE(result.exitCode, 0);
    ServiceRegistration registration;
    QCOMPARE(ServiceManager::queryConfig(QStringLiteral("Velmor Agent"), &registration), 1060u);

    result = run({ QStringLiteral("-uninstall") });
    QCOMPARE(result.err, QByteArray("The service Velmor Agent is not installed\n"));
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.exitCode, 0);
}

void tst_ServiceCommandLine::unreadableRegistrationCanBeUninstalled()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QFile registration(machine.path(QStringLiteral("services/velmor agent.service")));
    QVERIFY(registration.open(QIODevice::WriteOnly | QIODevice::Truncate));
    registration.write("not\ta registration\n\xff\n");
    registration.close();

    // Still registered, so it is not reported as missing, and uninstalling clears the way for a new install.
    QVERIFY(run({ QStringLiteral("-v") }).out.endsWith("is installed and not running\n\n"));
    WardenTest::Result result = run({ QStringLiteral("-i") });
    QCOMPARE(result.err, QByteArray("The service Velmor Agent is already installed\n"));
    QCOMPARE(result.exitCode, 0);
    result = run({});
    QCOMPARE(QString::fromLocal8Bit(result.err),
        QStringLiteral("The service Velmor Agent could not start: its registration in %1 cannot be read (The data is "
                       "invalid.)\n")
            .arg(machine.path(QStringLiteral("services"))));
    QCOMPARE(result.exitCode, 252);
    result = run({ QStringLiteral("-u") });
    QCOMPARE(result.out, QByteArray("The service Velmor Agent has been uninstalled.\n"));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    ServiceRegistration read;
    QCOMPARE(ServiceManager::queryConfig(QStringLiteral("Velmor Agent"), &read), 0u);
}

void tst_ServiceCommandLine::startWithoutRegistration_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no arguments") << QStringList();
    QTest::newRow("pid file") << QStringList { "--pidfile=warden.pid" };
}

void tst_ServiceCommandLine::startWithoutRegistration()
{
    QFETCH(QStringList, arguments);
    Machine machine;
    const WardenTest::Result result = run(arguments);
    const QString cause = QStringLiteral("it is not installed in ") + machine.path(QStringLiteral("services"));
    QCOMPARE(QString::fromLocal8Bit(result.err),
        QStringLiteral("The service Velmor Agent could not start: ") + cause + "\n");
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(result.exitCode, 252); // -4
    QCOMPARE(WardenTest::logOf(WardenTest::serviceName),
        QStringList(QStringLiteral("Error: The service Velmor Agent could not start: ") + cause));
}

void tst_ServiceCommandLine::controlsWithoutRunningService_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("status");
    QTest::newRow("not installed") << false << "The specified service does not exist as an installed service.";
    QTest::newRow("installed, stopped") << true << "The service has not been started.";
}

void tst_ServiceCommandLine::controlsWithoutRunningService()
{
    QFETCH(bool, installed);
    QFETCH(QString, status);
    Machine machine;
    if (installed)
        QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);

    const QList<QPair<QStringList, QString>> switches { { { "-t" }, "could not be stopped" },
        { { "-terminate" }, "could not be stopped" }, { { "-p" }, "could not be paused" },
        { { "-pause" }, "could not be paused" }, { { "-r" }, "could not be resumed" },
        { { "-resume" }, "could not be resumed" }, { { "-c", "3" }, "did not take the command 3" },
        { { "-command", "127" }, "did not take the command 127" } };
    for (const auto &[arguments, failure] : switches) {
        const WardenTest::Result result = run(arguments);
        QCOMPARE(result.exitCode, 255);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(QString::fromLocal8Bit(result.err),
            QStringLiteral("The service Velmor Agent %1: %2\n").arg(failure, status));
    }
    QCOMPARE(WardenTest::logOf(QStringLiteral("Service Control Manager")), QStringList());
}

void tst_ServiceCommandLine::commandThatIsNoCommand_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("typed");
    QTest::newRow("missing") << QStringList { "-c" } << "";
    QTest::newRow("a word") << QStringList { "-command", "abc" } << "abc";
    QTest::newRow("past 32 bits") << QStringList { "-c", "99999999999" } << "99999999999";
    QTest::newRow("past the last user command") << QStringList { "-c", "128" } << "128";
    QTest::newRow("negative") << QStringList { "-c", "-1" } << "-1";
}

void tst_ServiceCommandLine::commandThatIsNoCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, typed);
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);

    // Sent to a running service, so only the number itself can be at fault.
    const WardenTest::Result result = run(arguments);
    QCOMPARE(result.exitCode, 255);
    QCOMPARE(result.out, QByteArray());
    QCOMPARE(QString::fromLocal8Bit(result.err),
        QStringLiteral("The command \"%1\" was not sent to the service Velmor Agent: a command is a number from 0 to "
                       "127\n")
            .arg(typed));
    QCOMPARE(run({ QStringLiteral("-c"), QStringLiteral("5") }).exitCode, 0);
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
}

void tst_ServiceCommandLine::versionSeesABusyService()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);

    // A service whose main thread answers nothing still runs, and saying so needs no answer from it.
    ::kill(pid_t(service->processId()), SIGSTOP);
    QElapsedTimer timer;
    timer.start();
    const WardenTest::Result result = run({ QStringLiteral("-v") });
    const qint64 elapsedMs = timer.elapsed();
    ::kill(pid_t(service->processId()), SIGCONT);
    QVERIFY(result.out.endsWith("is installed and running\n\n"));
    QCOMPARE(result.err, QByteArray());
    QVERIFY2(elapsedMs < 10000, qPrintable(QString::number(elapsedMs)));
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
}

void tst_ServiceCommandLine::versionReportsAccessDenied()
{
    if (!WardenTest::isRoot())
        QSKIP("another user can be played only by root");
    Machine machine;
    QVERIFY(QFile::setPermissions(machine.path(QString()), QFile::Permissions(0x7755)));
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);

    // The registration may hold a password: another user cannot read it, so cannot tell whether the service runs.
    const QString program = WardenTest::program();
    const QString out = machine.path(QStringLiteral("out"));
    QVERIFY(QDir().mkdir(out));
    QVERIFY(QFile::setPermissions(out, QFile::Permissions(0x7777)));
    QCOMPARE(WardenTest::runAsNobody(QStringLiteral("'%1' -v > '%2/stdout' 2> '%2/stderr'").arg(program, out)), 0);
    QFile stdOut(out + QStringLiteral("/stdout"));
    QFile stdErr(out + QStringLiteral("/stderr"));
    QVERIFY(stdOut.open(QIODevice::ReadOnly) && stdErr.open(QIODevice::ReadOnly));
    const QByteArray head
        = "The service\n\tVelmor Agent\n\t" + program.toLocal8Bit() + "\n\tversion " VELMOR_VERSION "\n\n";
    QCOMPARE(stdOut.readAll(), head + "is installed and its state cannot be queried\n\n");
    QCOMPARE(stdErr.readAll(),
        QByteArray("The state of the service Velmor Agent cannot be queried (5:Access is denied.)\n"));

    // A running service is seen as running by every user.
    QProcess *service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);
    QCOMPARE(WardenTest::runAsNobody(QStringLiteral("'%1' -v > '%2/stdout' 2> '%2/stderr'").arg(program, out)), 0);
    stdOut.seek(0);
    stdErr.seek(0);
    QCOMPARE(stdOut.readAll(), head + "is installed and running\n\n");
    QCOMPARE(stdErr.readAll(), QByteArray());
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
}

QTEST_GUILESS_MAIN(tst_ServiceCommandLine)
#include "tst_servicecommandline.moc"
