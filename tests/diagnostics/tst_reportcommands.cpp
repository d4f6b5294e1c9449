#include "diagnostics/reportcommands.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The report's commands, run from fake programs put first on PATH: their output as the report carries it.
class tst_ReportCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void commandTable_data();
    void commandTable();
    void deliveredOnce();

private:
    void install(const QString &name, const QByteArray &body);

    std::unique_ptr<QTemporaryDir> m_bin;
    QByteArray m_path;
};

namespace {

// The real ones answer for both of their subcommands.
const QByteArray fastIp
    = "case \"$1\" in address) printf '1: lo: <LOOPBACK>\\n' ;; route) printf 'default via 192.0.2.1\\n' ;; esac\n";
const QByteArray fastUname = "printf 'Linux host 6.1.0 x86_64 GNU/Linux\\n'\n";
const QString fastOutput = QStringLiteral("\n> ip address\n1: lo: <LOOPBACK>\n\n"
                                          "\n> uname -a\nLinux host 6.1.0 x86_64 GNU/Linux\n\n"
                                          "\n> ip route\ndefault via 192.0.2.1\n\n");

} // namespace

void tst_ReportCommands::init()
{
    m_bin = std::make_unique<QTemporaryDir>();
    m_path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_bin->path()));
}

void tst_ReportCommands::cleanup()
{
    qputenv("PATH", m_path);
    ReportCommands::setGuardLimit(110000);
}

void tst_ReportCommands::install(const QString &name, const QByteArray &body)
{
    QFile file(m_bin->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n" + body);
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

void tst_ReportCommands::commandTable_data()
{
    QTest::addColumn<QByteArray>("ip");
    QTest::addColumn<QByteArray>("uname");
    QTest::addColumn<int>("guard");
    QTest::addColumn<QString>("output");

    QTest::newRow("fast") << fastIp << fastUname << 110000 << fastOutput;
    QTest::newRow("slow uname is aborted at the guard")
        << fastIp << QByteArray("exec /bin/sleep 60\n") << 400
        << "\n> ip address\n1: lo: <LOOPBACK>\n\n\n> uname -a\n<Aborted by timeout>\n\n> ip route\ndefault via "
           "192.0.2.1\n\n";
    QTest::newRow("crashing uname") << fastIp << QByteArray("printf 'partial'\nkill -SEGV $$\n") << 110000
                                    << "\n> ip address\n1: lo: <LOOPBACK>\n\n\n> uname -a\nFailed to get output\n\n> "
                                       "ip route\ndefault via 192.0.2.1\n\n";
    QTest::newRow("missing uname ends at once") << fastIp << QByteArray() << 110000
                                                << "\n> ip address\n1: lo: <LOOPBACK>\n\n\n> uname -a\nFailed to get "
                                                   "output\n\n> ip route\ndefault via 192.0.2.1\n\n";
    QTest::newRow("nothing can start") << QByteArray() << QByteArray() << 110000
                                       << "\n> ip address\nFailed to get output\n\n> uname -a\nFailed to get output\n"
                                          "\n> ip route\nFailed to get output\n";
    QTest::newRow("UTF-8 passed on, invalid bytes replaced")
        << fastIp << QByteArray("printf 'caf\\303\\251 \\377 \\344\\275\\240\\n'\n") << 110000
        << QStringLiteral("\n> ip address\n1: lo: <LOOPBACK>\n\n\n> uname -a\ncaf\u00e9 \ufffd \u4f60\n\n"
                          "\n> ip route\ndefault via 192.0.2.1\n\n");
    QTest::newRow("a failing exit code still gives its output")
        << fastIp << QByteArray("printf 'no such option\\n'\nexit 2\n") << 110000
        << "\n> ip address\n1: lo: <LOOPBACK>\n\n\n> uname -a\nno such option\n\n\n> ip route\ndefault via "
           "192.0.2.1\n\n";
}

void tst_ReportCommands::commandTable()
{
    QFETCH(QByteArray, ip);
    QFETCH(QByteArray, uname);
    QFETCH(int, guard);
    QFETCH(QString, output);
    if (!ip.isEmpty())
        install(QStringLiteral("ip"), ip);
    if (!uname.isEmpty())
        install(QStringLiteral("uname"), uname);
    ReportCommands::setGuardLimit(guard);
    ReportCommands commands;
    QSignalSpy done(&commands, &ReportCommands::done);
    commands.start();
    // Well before a guard of 110 s: a command that cannot start or crashes ends at once.
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 20000);
    QCOMPARE(commands.output(), output);
}

void tst_ReportCommands::deliveredOnce()
{
    // The guard fires while uname runs; uname's own end comes later and must change nothing.
    install(QStringLiteral("ip"), fastIp);
    install(QStringLiteral("uname"), "exec /bin/sleep 0.6\n");
    ReportCommands::setGuardLimit(200);
    ReportCommands commands;
    QSignalSpy done(&commands, &ReportCommands::done);
    commands.start();
    QTRY_COMPARE(done.size(), 1);
    const QString output = commands.output();
    QVERIFY(output.contains(QLatin1String("<Aborted by timeout>")));
    QProcess *uname = nullptr;
    for (QProcess *process : commands.findChildren<QProcess *>()) {
        if (process->property("startedProgram").toString() == QLatin1String("uname -a"))
            uname = process;
    }
    QVERIFY(uname);
    QTRY_COMPARE(uname->state(), QProcess::NotRunning);
    QCoreApplication::processEvents();
    QCOMPARE(done.size(), 1);
    QCOMPARE(commands.output(), output);
}

QTEST_GUILESS_MAIN(tst_ReportCommands)
#include "tst_reportcommands.moc"
