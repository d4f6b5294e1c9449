#include "ipcprobe.h"
#include "scratchroot.h"
#include "wardentest.h"

#include "base/servicecontroller.h"
#include "platform/servicemanager.h"

#include <QFile>
#include <QtTest>

#include <QDeadlineTimer>
#include <QDirIterator>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

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
    void filesHaveExplicitModes();
    void pidFileReplacesPlantedSymlink();
    void longRootStarts();
    void bindFailureIsExplained();
    void startRepairsWhatAKillLeft_data();
    void startRepairsWhatAKillLeft();
    void killedFirstRunsLoseNothing();
    void startFailureSaysWhy_data();
    void startFailureSaysWhy();
    void lockHeldByAnotherUser_data();
    void lockHeldByAnotherUser();
    void folderOthersCanWrite_data();
    void folderOthersCanWrite();

private:
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static mode_t modeOf(const QString &path)
    {
        struct stat info = {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
    }
    static void writeFile(const QString &path, const QByteArray &bytes, QFile::Permissions permissions)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
        QVERIFY(file.setPermissions(permissions));
    }
    // Lets every user enter the machine's folder, as they can enter /var/lib, and puts a file there that only root
    // may read and write: the target of the links another user plants. Returns its path.
    static QString openToOthers(const Machine &machine)
    {
        const QString secret = machine.path(QStringLiteral("root-only"));
        if (!QFile::setPermissions(machine.path(QString()), QFile::Permissions(0x7755)))
            return QString();
        writeFile(secret, "secret\n", QFile::ReadOwner | QFile::WriteOwner);
        return secret;
    }
    // What a kill can leave behind: temporary files, and the DNS client's registration or state file missing.
    static QStringList leftovers(const QString &root)
    {
        QStringList found;
        QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString name = it.next().mid(root.size() + 1);
            if (name.contains(QLatin1String(".tmp-")) || name.contains(QLatin1String(".new-"))
                || QRegularExpression(QStringLiteral("\\.(key|ini)\\.[A-Za-z0-9]{6}$")).match(name).hasMatch())
                found.append(name);
        }
        for (const char *file : { "services/dnscache.service", "services/dnscache.state" }) {
            if (!QFile::exists(root + QLatin1Char('/') + QLatin1String(file)))
                found.append(QLatin1String("missing ") + QLatin1String(file));
        }
        return found;
    }
    // Runs tests/fixtures/hold_lock.py, as the user nobody when the test can play another user, until it holds its
    // lock on path.
    static bool holdLock(QProcess *holder, const QString &kind, const QString &path)
    {
        const QString script = TestSupport::fixture(QStringLiteral("hold_lock.py"));
        QStringList command { QStringLiteral("/usr/bin/python3"), script, kind, path };
        if (WardenTest::isRoot())
            command = QStringList { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                QStringLiteral("--clear-groups"), QStringLiteral("--") }
                + command;
        holder->start(WardenTest::isRoot() ? QStringLiteral("setpriv") : command.takeFirst(), command);
        while (holder->waitForReadyRead(30000)) {
            if (holder->canReadLine())
                return holder->readLine() == "held\n";
        }
        qWarning("%s", holder->readAllStandardError().constData());
        return false;
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
    // A command that is no number reaches nothing.
    QCOMPARE(run({ QStringLiteral("-c"), QStringLiteral("not a number") }).exitCode, 255);
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
            "Information: The Velmor Agent service was successfully sent the user command 42.",
            "Information: The Velmor Agent service was successfully sent a continue control.",
            "Information: The Velmor Agent service entered the running state.",
            "Information: The Velmor Agent service was successfully sent a stop control.",
            "Information: The Velmor Agent service entered the stopped state." }));
    QCOMPARE(WardenTest::hostLogOf(QStringLiteral("Velmor Agent")), QStringList());
    QVERIFY(run({ QStringLiteral("-v") }).out.endsWith("is installed and not running\n\n"));
}

void tst_ServiceLifecycle::secondInstanceCannotStart()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *first = machine.startForeground({});
    QCOMPARE(first->state(), QProcess::Running);

    const WardenTest::Result second = run({});
    QCOMPARE(QString::fromLocal8Bit(second.err),
        QStringLiteral("The service Velmor Agent could not start: another instance runs (it holds %1)\n")
            .arg(machine.path(QStringLiteral("services/velmor agent.lock"))));
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
    // The log is written from a thread of its own.
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::hostLogOf(QStringLiteral("Velmor Agent")).size(), 1, 10000);
    const QStringList log = WardenTest::hostLogOf(QStringLiteral("Velmor Agent"));
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

void tst_ServiceLifecycle::filesHaveExplicitModes()
{
    if (!WardenTest::isRoot())
        QSKIP("another user can be played only by root");
    Machine machine;
    const QString secret = openToOthers(machine);
    QVERIFY(!secret.isEmpty());
    // The machine's root is made by the programs, as /var/lib/velmor is.
    const QString root = machine.path(QStringLiteral("root"));
    qputenv("VELMOR_ROOT", QFile::encodeName(root));

    const mode_t umask = ::umask(0);
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *service
        = machine.startForeground({ QStringLiteral("--pidfile=") + root + QStringLiteral("/warden.pid") });
    QCOMPARE(service->state(), QProcess::Running);
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    ::umask(umask);

    QStringList wrongModes;
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    const QRegularExpression privateFile(QStringLiteral("\\.(key|service|ini)$"));
    while (it.hasNext()) {
        const QString path = it.next();
        const mode_t mode = modeOf(path);
        const bool isDirectory = S_ISDIR(mode);
        const mode_t permissions = mode & 07777;
        bool right = isDirectory ? permissions == 0755 || permissions == 0700
                                 : S_ISREG(mode) && (permissions == 0644 || permissions == 0600);
        if (!isDirectory && privateFile.match(path).hasMatch())
            right = permissions == 0600;
        if (!right)
            wrongModes.append(QStringLiteral("%1 %2").arg(path.mid(root.size() + 1)).arg(permissions, 4, 8));
    }
    QCOMPARE(wrongModes, QStringList());
    QCOMPARE(modeOf(root) & 07777, mode_t(0755));

    // Another user can neither turn the event log into a link to a root-only file nor replace the registration.
    const QString log = root + QStringLiteral("/eventlog/Application.log");
    QVERIFY(WardenTest::runAsNobody(QStringLiteral("ln -sf '%1' '%2'").arg(secret, log)) != 0);
    QVERIFY(WardenTest::runAsNobody(QStringLiteral("echo x > '%1/services/x' && mv -f '%1/services/x' "
                                                   "'%1/services/velmor agent.service'")
                                        .arg(root))
        != 0);
    service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(readFile(secret), QByteArray("secret\n"));
    QVERIFY(S_ISREG(modeOf(log)));
}

void tst_ServiceLifecycle::pidFileReplacesPlantedSymlink()
{
    if (!WardenTest::isRoot())
        QSKIP("another user can be played only by root");
    Machine machine;
    // A folder that every user may write to, without the sticky bit, as a careless administrator may name.
    const QString folder = machine.path(QStringLiteral("run"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7777)));
    const QString secret = openToOthers(machine);
    QVERIFY(!secret.isEmpty());
    const QString pidFile = folder + QStringLiteral("/warden.pid");
    QCOMPARE(WardenTest::runAsNobody(QStringLiteral("ln -s '%1' '%2'").arg(secret, pidFile)), 0);

    QProcess *service
        = machine.startForeground({ QStringLiteral("-e"), QStringLiteral("--pidfile=") + pidFile }, false);
    QTRY_VERIFY_WITH_TIMEOUT(S_ISREG(modeOf(pidFile)), 30000);
    QCOMPARE(readFile(pidFile), QByteArray::number(service->processId()));
    QCOMPARE(modeOf(pidFile) & 07777, mode_t(0644));
    QCOMPARE(readFile(secret), QByteArray("secret\n"));
    ::kill(pid_t(service->processId()), SIGTERM);
    QVERIFY(service->waitForFinished(30000));
    QVERIFY(!QFile::exists(pidFile));
    QCOMPARE(readFile(secret), QByteArray("secret\n"));
}

void tst_ServiceLifecycle::longRootStarts()
{
    Machine machine;
    QString root = machine.path(QStringLiteral("long-"));
    root += QString(120 - root.size(), QLatin1Char('r'));
    QCOMPARE(root.size(), 120);
    qputenv("VELMOR_ROOT", QFile::encodeName(root));

    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);
    QVERIFY(run({ QStringLiteral("-v") }).out.endsWith("is installed and running\n\n"));
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitCode(), 0);
    QCOMPARE(readFile(root + QStringLiteral("/eventlog/Application.log")).count("entered the running state"), 1);
}

void tst_ServiceLifecycle::bindFailureIsExplained()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    // Nothing can be bound where a folder stands.
    const QString socket = ServiceManager::controlSocketPath(QStringLiteral("Velmor Agent"));
    QVERIFY(QDir().mkpath(socket));

    const WardenTest::Result result = run({});
    QDir(socket).removeRecursively();
    QCOMPARE(result.exitCode, 252);
    const QList<QByteArray> lines = result.err.split('\n');
    QCOMPARE(lines.size(), 2);
    const QByteArray head = "The service Velmor Agent could not start: The control socket " + QFile::encodeName(socket)
        + " cannot be made: ";
    QVERIFY2(lines.at(0).startsWith(head), lines.at(0).constData());
    QCOMPARE(WardenTest::logOf(QStringLiteral("Velmor Agent")),
        QStringList(QStringLiteral("Error: ") + QString::fromLocal8Bit(lines.at(0))));
}

void tst_ServiceLifecycle::startRepairsWhatAKillLeft_data()
{
    QTest::addColumn<QStringList>("remove");
    QTest::addColumn<QStringList>("plant");
    QTest::newRow("services folder only")
        << QStringList { "services/dnscache.service", "services/dnscache.state" } << QStringList();
    QTest::newRow("registration without state") << QStringList { "services/dnscache.state" } << QStringList();
    QTest::newRow("temporary files") << QStringList()
                                     << QStringList { "registry/hkey_local_machine/software.key.AbC123",
                                            "services/.new-Xy12Zq", "registry/hkey_local_machine/.tmp-%1-aBcDeF",
                                            "services/.tmp-%1-123456" };
}

void tst_ServiceLifecycle::startRepairsWhatAKillLeft()
{
    QFETCH(QStringList, remove);
    QFETCH(QStringList, plant);
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QVERIFY(QDir().mkpath(machine.path(QStringLiteral("registry/hkey_local_machine"))));
    for (const QString &file : remove)
        QVERIFY(QFile::remove(machine.path(file)));
    // A process that has ended: its temporary files are left over.
    QProcess ended;
    ended.start(QStringLiteral("/bin/true"));
    QVERIFY(ended.waitForStarted());
    const qint64 deadPid = ended.processId();
    QVERIFY(ended.waitForFinished());
    QVERIFY(::kill(pid_t(deadPid), 0) != 0);
    for (const QString &file : plant) {
        writeFile(machine.path(file.contains(QLatin1String("%1")) ? file.arg(deadPid) : file), "left over",
            QFile::ReadOwner | QFile::WriteOwner);
    }
    // A temporary file of a process that still runs is in use.
    const QString inUse
        = machine.path(QStringLiteral("services/.tmp-%1-inUse0").arg(QCoreApplication::applicationPid()));
    writeFile(inUse, "in use", QFile::ReadOwner | QFile::WriteOwner);

    QProcess *service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(leftovers(machine.path(QString())), QStringList(inUse.mid(machine.path(QString()).size() + 1)));
    ServiceState state = ServiceState::Stopped;
    QCOMPARE(ServiceManager::queryState(QStringLiteral("Dnscache"), &state), 0u);
    QCOMPARE(state, ServiceState::Running);
}

void tst_ServiceLifecycle::killedFirstRunsLoseNothing()
{
    // The first run of the program on a new machine makes the machine's own services; the kill comes as soon as
    // one of these files shows, in the middle of that work.
    const QStringList killPoints { "services", "services/dnscache.service", "services/dnscache.state" };
    for (const QString &killPoint : killPoints) {
        for (int round = 0; round < 3; ++round) {
            Machine machine;
            QProcess install;
            install.start(WardenTest::program(), { QStringLiteral("-i") });
            const QDeadlineTimer deadline(10000);
            while (!QFileInfo::exists(machine.path(killPoint)) && !deadline.hasExpired()
                && install.state() != QProcess::NotRunning) { }
            install.kill();
            install.waitForFinished();

            if (!QFile::exists(machine.path(QStringLiteral("services/velmor agent.service"))))
                QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
            QProcess *service = machine.startForeground({});
            QCOMPARE(service->state(), QProcess::Running);
            QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
            QVERIFY(service->waitForFinished(30000));
            QCOMPARE(leftovers(machine.path(QString())), QStringList());
        }
    }
}

QTEST_GUILESS_MAIN(tst_ServiceLifecycle)
#include "tst_servicelifecycle.moc"

void tst_ServiceLifecycle::lockHeldByAnotherUser_data()
{
    QTest::addColumn<QString>("lockFile");
    QTest::addColumn<QString>("kind");
    QTest::newRow("event log") << QStringLiteral("eventlog/.lock") << QStringLiteral("flock");
    QTest::newRow("service") << QStringLiteral("services/velmor agent.lock") << QStringLiteral("ofd-read");
}

void tst_ServiceLifecycle::lockHeldByAnotherUser()
{
    QFETCH(QString, lockFile);
    QFETCH(QString, kind);
    Machine machine;
    QVERIFY(!openToOthers(machine).isEmpty());
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    // Readable by every user, as the lock files were once made.
    const QString path = machine.path(lockFile);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    writeFile(path, QByteArray(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QProcess holder;
    QVERIFY(holdLock(&holder, kind, path));

    QProcess *service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);
    QVERIFY(run({ QStringLiteral("-v") }).out.endsWith("is installed and running\n\n"));
    // A notification of a method that does not exist is logged; the service answers the next desktop all the same.
    WardenTest::IpcProbe first(quint16(qEnvironmentVariableIntValue("VELMOR_IPC_PORT")));
    QVERIFY(first.isConnected());
    first.notify(QStringLiteral("noSuchMethod"));
    WardenTest::IpcProbe second(quint16(qEnvironmentVariableIntValue("VELMOR_IPC_PORT")));
    QTRY_VERIFY2_WITH_TIMEOUT(second.methods().contains(QStringLiteral("setSettings")),
        "the service's first notification to a new connection", 30000);
    QTRY_VERIFY_WITH_TIMEOUT(first.methods().contains(QStringLiteral("setSettings")), 30000);
    QVERIFY(second.settle());
    QCOMPARE(modeOf(path) & 07777, mode_t(0600));

    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitCode(), 0);
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(30000));
}

void tst_ServiceLifecycle::folderOthersCanWrite_data()
{
    QTest::addColumn<QString>("attack");
    QTest::newRow("settings replaced by another user") << "swap";
    QTest::newRow("a parent of the root open to all") << "parent";
    QTest::newRow("settings made under umask 000") << "umask";
}

void tst_ServiceLifecycle::folderOthersCanWrite()
{
    QFETCH(QString, attack);
    if (!WardenTest::isRoot())
        QSKIP("another user's folder needs root to switch users");
    Machine machine;
    QVERIFY(!openToOthers(machine).isEmpty());
    QString cause;
    if (attack == QLatin1String("parent")) {
        const QString open = machine.path(QStringLiteral("open"));
        QVERIFY(QDir().mkpath(open));
        QVERIFY(::chmod(QFile::encodeName(open).constData(), 0777) == 0);
        qputenv("VELMOR_ROOT", QFile::encodeName(open + QStringLiteral("/root")));
        cause = QStringLiteral("the folder %1 can be written by other users (mode 777)").arg(open);
    } else {
        QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
        const QString settings = machine.path(QStringLiteral("settings"));
        QVERIFY(QFile::exists(settings + QStringLiteral("/Velmor/Service.ini")));
        QVERIFY(::chmod(QFile::encodeName(settings).constData(), 0777) == 0);
        if (attack == QLatin1String("swap")) {
            // The account would go to the "www" he names.
            QCOMPARE(WardenTest::runAsNobody(QStringLiteral("cd '%1' && mv Velmor Old && mkdir Velmor && printf "
                                                            "'[General]\\nwww=http://127.0.0.1:9/\\n' > "
                                                            "Velmor/Service.ini")
                                                 .arg(settings)),
                0);
            cause = QStringLiteral("the folder %1/Velmor belongs to another user (uid 65534)").arg(settings);
        }
    }

    QProcess *service = machine.startForeground({}, false);
    if (cause.isEmpty()) {
        // A folder of the service's own user is mended, and the service runs.
        QTRY_VERIFY_WITH_TIMEOUT(run({ QStringLiteral("-v") }).out.endsWith("is installed and running\n\n"), 30000);
        QCOMPARE(modeOf(machine.path(QStringLiteral("settings"))) & 07777, mode_t(0755));
        QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
        QVERIFY(service->waitForFinished(30000));
        QCOMPARE(service->exitCode(), 0);
        return;
    }
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitCode(), 252);
    QCOMPARE(QString::fromLocal8Bit(service->readAllStandardError()),
        QStringLiteral("The service Velmor Agent could not start: ") + cause + "\n");
}

void tst_ServiceLifecycle::startFailureSaysWhy_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("root is a file") << "root is a file" << QStringList();
    QTest::newRow("root is a file, -e") << "root is a file" << QStringList { "-e" };
    QTest::newRow("equal proxy addresses") << "equal proxy addresses" << QStringList();
    QTest::newRow("equal proxy addresses, -e") << "equal proxy addresses" << QStringList { "-e" };
}

void tst_ServiceLifecycle::startFailureSaysWhy()
{
    QFETCH(QString, failure);
    QFETCH(QStringList, arguments);
    Machine machine;
    QString cause;
    if (failure == QLatin1String("root is a file")) {
        const QString root = machine.path(QStringLiteral("file"));
        writeFile(root, "x", QFile::ReadOwner | QFile::WriteOwner);
        qputenv("VELMOR_ROOT", QFile::encodeName(root));
        cause = QStringLiteral("the machine root %1 (VELMOR_ROOT) is not a folder this user can write to (Not a "
                               "directory)")
                    .arg(root);
    } else {
        QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
        const QString store = machine.path(QStringLiteral("settings/Velmor/Service.ini"));
        QVERIFY(QDir().mkpath(QFileInfo(store).path()));
        writeFile(store, "[General]\nvyrproxy-addr=127.0.0.1:53\nlocalproxy-addr=127.0.0.1:53\n",
            QFile::ReadOwner | QFile::WriteOwner);
        cause = QStringLiteral("1: wrong proxy addresses in config (settings %1)").arg(store);
    }

    const WardenTest::Result result = run(arguments);
    QCOMPARE(result.exitCode, 252);
    QCOMPARE(QString::fromLocal8Bit(result.err),
        QStringLiteral("The service Velmor Agent could not start: ") + cause + "\n");
    QCOMPARE(result.out, QByteArray());
    if (failure != QLatin1String("root is a file")) {
        const QStringList errors
            = WardenTest::logOf(QStringLiteral("Velmor Agent")).filter(QRegularExpression("^Error: "));
        QCOMPARE(errors, QStringList(QStringLiteral("Error: The service Velmor Agent could not start: ") + cause));
    }
}
