#include "consoletest.h"

#include "app/singleinstancepeer.h"
#include "app/unlockflag.h"

#include <QDir>
#include <QFileInfo>
#include <QSharedMemory>
#include <QSignalSpy>

#include <csignal>
#include <unistd.h>

// Runs of the real program. The test process is the running copy where the test answers for it; real copies
// run under sessions of their own, answered by the python fake service.
class tst_SingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void secondStartHandsOver_data();
    void secondStartHandsOver();
    void requesterReadsTheAnswer_data();
    void requesterReadsTheAnswer();
    void staleSegmentReclaimed();
    void liveSegmentLeftAlone();

    void closeWithoutCopyStartsNothing();
    void closeRealCopy();
    void ownUnlockWithoutCopy_data();
    void ownUnlockWithoutCopy();
    void ownUnlockWaitsForThePage();
    void killedCopyReleasesRequester();
    void twoUsersStayApart();

private:
    // The environment of a real copy of its own session.
    QProcessEnvironment sessionEnvironment(const ConsoleTest::Machine &machine, quint16 port, const QString &session);
    static bool listening(const QString &folder, const QString &session, uint uid = ::geteuid());
    static QString unlockKey(const QString &session);
    // A session name no other run of this suite uses.
    QString newSession(const QString &kind)
    {
        return QStringLiteral("%1-%2-%3").arg(kind).arg(::getpid()).arg(++m_sessions);
    }

    QtSingleApplication *m_app = nullptr;
    int m_sessions = 0;
};

void tst_SingleInstance::initTestCase()
{
    m_app = qobject_cast<QtSingleApplication *>(qApp);
    QVERIFY(!m_app->isRunning());
}

QProcessEnvironment tst_SingleInstance::sessionEnvironment(
    const ConsoleTest::Machine &machine, quint16 port, const QString &session)
{
    QProcessEnvironment environment = machine.environment(port);
    environment.insert(QStringLiteral("XDG_SESSION_ID"), session);
    return environment;
}

bool tst_SingleInstance::listening(const QString &folder, const QString &session, uint uid)
{
    // The socket's name is the one a copy of that user and session gives it, in whichever folder it lives.
    const QByteArray saved = qgetenv("XDG_SESSION_ID");
    qputenv("XDG_SESSION_ID", session.toUtf8());
    const SingleInstancePeer peer(nullptr, QStringLiteral("velmor-agent%1S-1-22-1-") + QString::number(uid));
    qputenv("XDG_SESSION_ID", saved);
    const QString name = QFileInfo(peer.socketPath()).fileName();
    return !name.isEmpty() && QFileInfo::exists(folder + QLatin1Char('/') + name);
}

QString tst_SingleInstance::unlockKey(const QString &session)
{
    const QByteArray saved = qgetenv("XDG_SESSION_ID");
    qputenv("XDG_SESSION_ID", session.toUtf8());
    const QString key = UnlockFlag::key();
    qputenv("XDG_SESSION_ID", saved);
    return key;
}

void tst_SingleInstance::secondStartHandsOver_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("plain start") << QStringList() << "1";
    QTest::newRow("hidden start") << QStringList { "-h" } << "1";
    QTest::newRow("close") << QStringList { "-c" } << "close";
    QTest::newRow("close wins over unlock") << QStringList { "-p", "uninstall", "-c" } << "close";
}

void tst_SingleInstance::secondStartHandsOver()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    ConsoleTest::Machine machine;
    ConsoleTest::Programs programs;
    QSignalSpy received(m_app, &QtSingleApplication::messageReceived);
    QProcess *second = programs.start(arguments, machine.environment(1));
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received.first().first().toString(), message);
    QCOMPARE(ConsoleTest::exitCode(second), 0);
    // A copy that found another one never started the tray program: nothing was written on the machine.
    QVERIFY(!QFile::exists(machine.path() + QLatin1String("/settings")));
}

void tst_SingleInstance::requesterReadsTheAnswer_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("granted") << 1 << 100;
    QTest::newRow("cancelled") << 2 << 101;
    QTest::newRow("anything else") << 3 << 0;
}

void tst_SingleInstance::requesterReadsTheAnswer()
{
    QFETCH(int, byte);
    QFETCH(int, exitCode);
    ConsoleTest::Machine machine;
    ConsoleTest::Programs programs;
    QSignalSpy received(m_app, &QtSingleApplication::messageReceived);
    QProcess *requester = programs.start({ QStringLiteral("-p"), QStringLiteral("uninstall") }, machine.environment(1));
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received.first().first().toString(), QStringLiteral("unlock uninstall"));
    QSharedMemory segment(UnlockFlag::key());
    QVERIFY(segment.attach());
    QVERIFY(segment.lock());
    QCOMPARE(int(*static_cast<quint8 *>(segment.data())), 0);
    *static_cast<quint8 *>(segment.data()) = quint8(byte);
    segment.unlock();
    segment.detach();
    QCOMPARE(ConsoleTest::exitCode(requester), exitCode);
}

void tst_SingleInstance::staleSegmentReclaimed()
{
    ConsoleTest::Machine machine;
    ConsoleTest::Programs programs;
    QSignalSpy received(m_app, &QtSingleApplication::messageReceived);
    QProcess *killed = programs.start({ QStringLiteral("-p"), QStringLiteral("first") }, machine.environment(1));
    QTRY_COMPARE(received.size(), 1);
    ::kill(pid_t(killed->processId()), SIGKILL);
    QCOMPARE(ConsoleTest::exitCode(killed), -1);
    QSharedMemory left(UnlockFlag::key());
    QVERIFY2(left.attach(), "the killed requester left its segment");
    left.detach();
    QVERIFY(!left.attach());
    // Gone by the detach above (the last attachment removes it): make another stale one the same way.
    killed = programs.start({ QStringLiteral("-p"), QStringLiteral("again") }, machine.environment(1));
    QTRY_COMPARE(received.size(), 2);
    ::kill(pid_t(killed->processId()), SIGKILL);
    ConsoleTest::exitCode(killed);

    QProcess *requester = programs.start({ QStringLiteral("-p"), QStringLiteral("second") }, machine.environment(1));
    QTRY_COMPARE(received.size(), 3);
    QCOMPARE(received.last().first().toString(), QStringLiteral("unlock second"));
    QVERIFY(UnlockFlag::answer(UnlockFlag::Granted));
    QCOMPARE(ConsoleTest::exitCode(requester), 100);
}

void tst_SingleInstance::liveSegmentLeftAlone()
{
    ConsoleTest::Machine machine;
    ConsoleTest::Programs programs;
    QSignalSpy received(m_app, &QtSingleApplication::messageReceived);
    QProcess *waiting = programs.start({ QStringLiteral("-p"), QStringLiteral("first") }, machine.environment(1));
    QTRY_COMPARE(received.size(), 1);
    QProcess *second = programs.start({ QStringLiteral("-p"), QStringLiteral("second") }, machine.environment(1));
    QCOMPARE(ConsoleTest::exitCode(second), 0);
    QCOMPARE(received.size(), 1);
    QCOMPARE(waiting->state(), QProcess::Running);
    QVERIFY(UnlockFlag::answer(UnlockFlag::Canceled));
    QCOMPARE(ConsoleTest::exitCode(waiting), 101);
}

void tst_SingleInstance::closeWithoutCopyStartsNothing()
{
    ConsoleTest::Machine machine;
    ConsoleTest::Programs programs;
    const QString session = newSession(QStringLiteral("alone"));
    for (const QStringList &arguments : { QStringList { "-c" }, QStringList { "-c", "-p", "uninstall" } }) {
        QProcess *program = programs.start(arguments, sessionEnvironment(machine, 1, session));
        QCOMPARE(ConsoleTest::exitCode(program), 0);
    }
    QVERIFY(!QFile::exists(machine.path() + QLatin1String("/settings")));
}

void tst_SingleInstance::closeRealCopy()
{
    ConsoleTest::Machine machine;
    ConsoleTest::Programs programs;
    ConsoleTest::PythonService service(ConsoleTest::script(QStringLiteral("protected")));
    QVERIFY(service.isListening());
    const QString session = newSession(QStringLiteral("copy"));
    QProcess *copy = programs.start({ QStringLiteral("-h") }, sessionEnvironment(machine, service.port(), session));
    QTRY_VERIFY(listening(qEnvironmentVariable("XDG_RUNTIME_DIR"), session));
    QTRY_COMPARE(service.count(QStringLiteral("connected")), 1);
    // First start on this machine: the default-route network was protected.
    QTRY_COMPARE(service.count(QStringLiteral("message 1 {\"id\"")), 2);
    QProcess *closer = programs.start({ QStringLiteral("-c") }, sessionEnvironment(machine, service.port(), session));
    QCOMPARE(ConsoleTest::exitCode(closer), 0);
    QCOMPARE(ConsoleTest::exitCode(copy), 0);
    QVERIFY(!listening(qEnvironmentVariable("XDG_RUNTIME_DIR"), session));
}

void tst_SingleInstance::ownUnlockWithoutCopy_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("service unreachable") << "unreachable";
    QTest::newRow("settings unlocked") << "protected";
}

void tst_SingleInstance::ownUnlockWithoutCopy()
{
    QFETCH(QString, situation);
    ConsoleTest::Machine machine;
    ConsoleTest::Programs programs;
    ConsoleTest::PythonService service(ConsoleTest::script(QStringLiteral("protected")));
    QVERIFY(service.isListening());
    if (situation == QLatin1String("unreachable"))
        service.stop();
    const QString session = newSession(QStringLiteral("own"));
    QProcess *program = programs.start(
        { QStringLiteral("-p"), QStringLiteral("uninstall") }, sessionEnvironment(machine, service.port(), session));
    QCOMPARE(ConsoleTest::exitCode(program), 100);
}

void tst_SingleInstance::ownUnlockWaitsForThePage()
{
    ConsoleTest::Machine machine;
    ConsoleTest::Programs programs;
    ConsoleTest::PythonService service(ConsoleTest::script(QStringLiteral("locked")));
    QVERIFY(service.isListening());
    const QString session = newSession(QStringLiteral("page"));
    const QProcessEnvironment environment = sessionEnvironment(machine, service.port(), session);
    QProcess *program = programs.start({ QStringLiteral("-p"), QStringLiteral("uninstall") }, environment);
    // It connects and takes the whole state, and is still there: the password is asked, not skipped.
    QTRY_COMPARE(service.count(QStringLiteral("connected")), 1);
    QTRY_COMPARE(service.count(QStringLiteral("message 1 {\"id\"")), 2);
    QCOMPARE(program->state(), QProcess::Running);
    QProcess *closer = programs.start({ QStringLiteral("-c") }, environment);
    QCOMPARE(ConsoleTest::exitCode(closer), 0);
    QCOMPARE(ConsoleTest::exitCode(program), 0);
}

void tst_SingleInstance::killedCopyReleasesRequester()
{
    ConsoleTest::Machine machine;
    ConsoleTest::Programs programs;
    ConsoleTest::PythonService service(ConsoleTest::script(QStringLiteral("locked")));
    QVERIFY(service.isListening());
    const QString session = newSession(QStringLiteral("killed"));
    const QProcessEnvironment environment = sessionEnvironment(machine, service.port(), session);
    QProcess *copy = programs.start({ QStringLiteral("-h") }, environment);
    QTRY_VERIFY(listening(qEnvironmentVariable("XDG_RUNTIME_DIR"), session));
    QTRY_COMPARE(service.count(QStringLiteral("connected")), 1);
    QProcess *requester = programs.start({ QStringLiteral("-p"), QStringLiteral("uninstall") }, environment);
    // A fresh object for every look: one whose first look found nothing keeps that answer.
    const QString key = unlockKey(session);
    QTRY_VERIFY(QSharedMemory(key).attach());
    QCOMPARE(requester->state(), QProcess::Running);
    ::kill(pid_t(copy->processId()), SIGKILL);
    QCOMPARE(ConsoleTest::exitCode(requester, 10000), 0);
}

void tst_SingleInstance::twoUsersStayApart()
{
    if (::geteuid() != 0)
        QSKIP("needs root to run a copy as another user");
    const uid_t other = 65534;
    ConsoleTest::Machine machine;
    ConsoleTest::Machine otherMachine;
    QVERIFY(::chown(QFile::encodeName(otherMachine.path()).constData(), other, other) == 0);
    ConsoleTest::Programs programs;
    ConsoleTest::PythonService service(ConsoleTest::script(QStringLiteral("protected")));
    QVERIFY(service.isListening());
    const QString session = newSession(QStringLiteral("shared"));

    QProcessEnvironment otherEnvironment = sessionEnvironment(otherMachine, service.port(), session);
    otherEnvironment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    otherEnvironment.insert(QStringLiteral("HOME"), otherMachine.path());
    const auto asOther = [&](const QStringList &arguments) {
        const QStringList wrapped = QStringList { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups"), QStringLiteral("--"), ConsoleTest::program() }
            + arguments;
        return programs.start(wrapped, otherEnvironment, QStringLiteral("setpriv"));
    };

    QProcess *mine = programs.start({ QStringLiteral("-h") }, sessionEnvironment(machine, service.port(), session));
    QTRY_VERIFY(listening(qEnvironmentVariable("XDG_RUNTIME_DIR"), session));
    QProcess *theirs = asOther({ QStringLiteral("-h") });
    QTRY_VERIFY(listening(QStringLiteral("/tmp/velmor-65534"), session, 65534));
    QTRY_COMPARE(service.count(QStringLiteral("connected")), 2);
    QCOMPARE(mine->state(), QProcess::Running);
    QCOMPARE(theirs->state(), QProcess::Running);

    // The other user's "-c" reaches only the other user's copy.
    QCOMPARE(ConsoleTest::exitCode(asOther({ QStringLiteral("-c") })), 0);
    QCOMPARE(ConsoleTest::exitCode(theirs), 0);
    QCOMPARE(mine->state(), QProcess::Running);
    QProcess *closer = programs.start({ QStringLiteral("-c") }, sessionEnvironment(machine, service.port(), session));
    QCOMPARE(ConsoleTest::exitCode(closer), 0);
    QCOMPARE(ConsoleTest::exitCode(mine), 0);
}

CONSOLE_TEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
