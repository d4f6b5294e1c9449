#include "ipcprobe.h"
#include "scratchroot.h"
#include "wardentest.h"

#include "core/ipcserver.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QtTest>

#include <csignal>

using WardenTest::Machine;
using WardenTest::run;

// The real velmor-warden's listener for the desktop programs, against another program that holds its port or
// floods it with connections.
class tst_IpcServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portTakenIsRetried();
    void floodOfOneUserLeavesRoom();
    void closedPeersStopCountingAtOnce();
    void unfinishedPacketsOfOneUserLeaveOthersRoom();
    void peerTextsCannotWipeTheLog();

private:
    // tests/fixtures/local_attacker.py as the user nobody.
    static void startAttacker(QProcess &attacker, const QStringList &arguments)
    {
        attacker.start(QStringLiteral("setpriv"),
            QStringList { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                QStringLiteral("--clear-groups"), QStringLiteral("--"), QStringLiteral("/usr/bin/python3"),
                TestSupport::fixture(QStringLiteral("local_attacker.py")) }
                + arguments);
        attacker.waitForStarted(30000);
    }
    static QByteArray lineOf(QProcess &process, int timeout = 60000)
    {
        QDeadlineTimer deadline(timeout);
        while (!process.canReadLine() && !deadline.hasExpired() && process.state() != QProcess::NotRunning)
            process.waitForReadyRead(100);
        return process.canReadLine() ? process.readLine().trimmed() : process.readAllStandardError();
    }
    static quint16 ipcPort() { return quint16(qEnvironmentVariableIntValue("VELMOR_IPC_PORT")); }
    static int openDescriptors(qint64 pid)
    {
        return int(
            QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
    }
    static QByteArray openFilesLimit(qint64 pid)
    {
        QFile limits(QStringLiteral("/proc/%1/limits").arg(pid));
        if (!limits.open(QIODevice::ReadOnly))
            return QByteArray();
        // Files of /proc have no size: read to the end, not while atEnd() is false.
        const QList<QByteArray> lines = limits.readAll().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("Max open files"))
                return line.simplified();
        }
        return QByteArray();
    }
};

void tst_IpcServer::portTakenIsRetried()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    auto squatter = std::make_unique<QTcpServer>();
    QVERIFY(squatter->listen(QHostAddress(QHostAddress::LocalHost), ipcPort()));

    // The service runs on without its link, and says so once, as an error naming the address and the variable.
    QProcess *service = machine.startForeground({});
    QVERIFY(run({ QStringLiteral("-v") }).out.endsWith("is installed and running\n\n"));
    // The log is written from a thread of its own: the line shows a moment after the start.
    QTRY_COMPARE_WITH_TIMEOUT(
        WardenTest::hostLogOf(WardenTest::serviceName).filter(QRegularExpression(QStringLiteral("^(Error|Success): "))),
        QStringList(QStringLiteral("Error: the desktop programs' link cannot listen on 127.0.0.1:%1 (VELMOR_IPC_PORT): "
                                   "Address already in use; trying again every 5 s")
                        .arg(ipcPort())),
        10000);

    squatter.reset();
    QTRY_VERIFY2_WITH_TIMEOUT(
        WardenTest::IpcProbe(ipcPort()).isConnected(), "the link listening once the port was free", 30000);
    WardenTest::IpcProbe desktop(ipcPort());
    QTRY_VERIFY_WITH_TIMEOUT(desktop.methods().contains(QStringLiteral("setSettings")), 30000);

    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), 0);
}

void tst_IpcServer::floodOfOneUserLeavesRoom()
{
    if (!WardenTest::isRoot())
        QSKIP("another user can be played only by root");
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    // Few descriptors allowed at first, as a system may give a service.
    QProcess *service
        = machine.startForeground({ QStringLiteral("--nofile=200:4096"), QStringLiteral("--"), WardenTest::program() },
            true, QStringLiteral("prlimit"));
    QCOMPARE(service->state(), QProcess::Running);
    QVERIFY(run({ QStringLiteral("-v") }).out.endsWith("is installed and running\n\n"));
    const qint64 pid = service->processId();
    QCOMPARE(openFilesLimit(pid), QByteArray("Max open files 4096 4096 files"));

    QProcess flood;
    flood.start(QStringLiteral("setpriv"),
        { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
            QStringLiteral("--"), QStringLiteral("/usr/bin/python3"),
            TestSupport::fixture(QStringLiteral("connection_flood.py")), QString::number(ipcPort()),
            QStringLiteral("300") });
    QVERIFY(flood.waitForReadyRead(60000));
    QVERIFY2(flood.readLine().startsWith("opened "), flood.readAllStandardError().constData());

    // Accepted after the flood's connections, this user's desktop is served.
    WardenTest::IpcProbe desktop(ipcPort());
    QVERIFY(desktop.isConnected());
    QTRY_VERIFY2_WITH_TIMEOUT(desktop.methods().contains(QStringLiteral("setSettings")),
        "the first notification to another user's desktop", 30000);
    QVERIFY(desktop.settle());
    const int descriptors = openDescriptors(pid);
    QVERIFY2(descriptors < 100, qPrintable(QString::number(descriptors)));
    QTRY_COMPARE_WITH_TIMEOUT(WardenTest::hostLogOf(WardenTest::serviceName)
                                  .filter(QStringLiteral("the desktop programs' link refuses connections"))
                                  .size(),
        1, 10000);

    flood.closeWriteChannel();
    QVERIFY(flood.waitForFinished(30000));
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitCode(), 0);
}

void tst_IpcServer::closedPeersStopCountingAtOnce()
{
    if (!WardenTest::isRoot())
        QSKIP("another user can be played only by root");
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);
    WardenTest::IpcProbe root(ipcPort());
    QTRY_VERIFY_WITH_TIMEOUT(root.methods().contains(QStringLiteral("setSettings")), 30000);

    // The attacker holds all the connections he may, then closes them and 22 more while the service is stopped, and
    // opens a fresh link: the service finds it waiting beside the closed ones whose end it has not read, as a service
    // busy for a moment does.
    QProcess attacker;
    startAttacker(attacker,
        { QStringLiteral("closers"), QString::number(ipcPort()),
            QString::number(Velmor::IpcServer::maximumConnectionsPerUser), QStringLiteral("30") });
    QCOMPARE(lineOf(attacker), QByteArray("opened"));
    const qint64 pid = service->processId();
    QCOMPARE(::kill(pid_t(pid), SIGSTOP), 0);
    attacker.write("go\n");
    const QByteArray ready = lineOf(attacker);
    WardenTest::IpcProbe rootAgain(ipcPort());
    QCOMPARE(::kill(pid_t(pid), SIGCONT), 0);
    QCOMPARE(ready, QByteArray("ready"));

    // The attacker's fresh link and root's are served; closed peers are charged to no one, root least of all.
    QCOMPARE(lineOf(attacker), QByteArray("served"));
    QTRY_VERIFY_WITH_TIMEOUT(rootAgain.methods().contains(QStringLiteral("setSettings")), 30000);
    QVERIFY(!rootAgain.isClosed());
    QVERIFY(root.settle());
    const QStringList refusals = WardenTest::hostLogOf(WardenTest::serviceName)
                                     .filter(QStringLiteral("the desktop programs' link refuses connections of user"));
    QVERIFY2(refusals.isEmpty(), qPrintable(refusals.join(QLatin1Char('\n'))));

    QVERIFY(attacker.state() == QProcess::NotRunning || attacker.waitForFinished(30000));
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitCode(), 0);
}

void tst_IpcServer::unfinishedPacketsOfOneUserLeaveOthersRoom()
{
    if (!WardenTest::isRoot())
        QSKIP("another user can be played only by root");
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);

    // Every connection the attacker may hold starts a long packet and stops half way: 64 MiB, were all read.
    QProcess attacker;
    startAttacker(attacker,
        { QStringLiteral("partial"), QString::number(ipcPort()),
            QString::number(Velmor::IpcServer::maximumConnectionsPerUser) });
    QCOMPARE(lineOf(attacker), QByteArray("holding"));

    // Another user's packets that arrive in two pieces are still taken.
    WardenTest::IpcProbe desktop(ipcPort());
    QTRY_VERIFY_WITH_TIMEOUT(desktop.methods().contains(QStringLiteral("setSettings")), 30000);
    for (int i = 0; i < 3; ++i) {
        const QByteArray call
            = WardenTest::packet(R"({"jsonrpc":"2.0","method":"categories","id":)" + QByteArray::number(100 + i) + "}");
        desktop.sendRaw(call.left(call.size() / 2));
        // Apart long enough to be read apart.
        QTest::qWait(200);
        desktop.sendRaw(call.mid(call.size() / 2));
        QVERIFY2(desktop.waitForAnswer(100 + i, 30000), desktop.isClosed() ? "the link was closed" : "no answer");
    }
    // The attacker's connections are not read on, and none is closed.
    attacker.write("\n");
    QCOMPARE(lineOf(attacker), QByteArray("open ") + QByteArray::number(Velmor::IpcServer::maximumConnectionsPerUser));
    QVERIFY(!desktop.isClosed());

    attacker.closeWriteChannel();
    QVERIFY(attacker.state() == QProcess::NotRunning || attacker.waitForFinished(30000));
    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitCode(), 0);
}

void tst_IpcServer::peerTextsCannotWipeTheLog()
{
    Machine machine;
    QCOMPARE(run({ QStringLiteral("-i") }).exitCode, 0);
    QProcess *service = machine.startForeground({});
    QCOMPARE(service->state(), QProcess::Running);

    WardenTest::IpcProbe peer(ipcPort());
    QVERIFY(peer.isConnected());
    for (int i = 0; i < 2; ++i)
        peer.notify(QString(12 * 1024 * 1024, QLatin1Char('a' + i)));
    for (int i = 0; i < 100; ++i)
        peer.notify(QStringLiteral("noSuchMethod%1").arg(i));
    QVERIFY(peer.settle());

    // What was logged before is still there, the method names are cut, and the peer's lines stop at a bound.
    // The log's own thread writes the lines a moment after they were made: the file is measured once they are in.
    QTRY_COMPARE_WITH_TIMEOUT(
        WardenTest::logOf(WardenTest::serviceName).filter(QStringLiteral("failed to find slot")).size(), 20, 10000);
    const QString log = machine.path(QStringLiteral("eventlog/Application.log"));
    QVERIFY2(QFileInfo(log).size() < 64 * 1024, qPrintable(QString::number(QFileInfo(log).size())));
    const QStringList entries = WardenTest::logOf(WardenTest::serviceName);
    const QStringList missing = entries.filter(QStringLiteral("failed to find slot"));
    QCOMPARE(missing.size(), 20);
    QCOMPARE(missing.first(),
        QStringLiteral("Warning: failed to find slot ") + QString(128, QLatin1Char('a'))
            + QStringLiteral("... (%1 more characters)").arg(12 * 1024 * 1024 - 128));
    QCOMPARE(missing.last(),
        QStringLiteral("Warning: failed to find slot noSuchMethod17 (further lines of this peer are not logged)"));
    QVERIFY(WardenTest::logOf(QStringLiteral("Service Control Manager"))
                .contains(QStringLiteral("Information: The Velmor Agent service entered the running state.")));

    QCOMPARE(run({ QStringLiteral("-t") }).exitCode, 0);
    QVERIFY(service->waitForFinished(30000));
    QCOMPARE(service->exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_IpcServer)
#include "tst_ipcserver.moc"
