#include "consoletest.h"

#include "app/commandline.h"

#include <QProcess>
#include <QTemporaryDir>

#include <QTest>

#include <unistd.h>

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void unlockReason_data();
    void unlockReason();
    void instanceIdCarriesTheUser();
    void unknownAndHelp_data();
    void unknownAndHelp();
    void program_data();
    void program();
};

void tst_CommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("close");
    QTest::addColumn<bool>("unlock");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("activate");
    QTest::newRow("plain") << QStringList() << false << false << QString() << false << false;
    QTest::newRow("close") << QStringList { "-c" } << true << false << QString() << false << false;
    QTest::newRow("close and unlock") << QStringList { "-p", "uninstall", "-c" } << true << true << "uninstall" << false
                                      << false;
    QTest::newRow("unlock last") << QStringList { "-h", "-p" } << false << true << QString() << true << false;
    QTest::newRow("unlock before an option")
        << QStringList { "-p", "-h" } << false << true << QString() << true << false;
    QTest::newRow("unlock with reason") << QStringList { "-a", "-p", "uninstall" } << false << true << "uninstall"
                                        << false << true;
    QTest::newRow("first -p counts") << QStringList { "-p", "one", "-p", "two" } << false << true << "one" << false
                                     << false;
    QTest::newRow("case matters") << QStringList { "-C", "-P", "-H" } << false << false << QString() << false << false;
    QTest::newRow("no prefix matching") << QStringList { "-cp", "--c" } << false << false << QString() << false
                                        << false;
    QTest::newRow("program path is not an option") << QStringList() << false << false << QString() << false << false;
}

void tst_CommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, close);
    QFETCH(bool, unlock);
    QFETCH(QString, reason);
    QFETCH(bool, hidden);
    QFETCH(bool, activate);
    const QString program
        = QString::fromLatin1(QTest::currentDataTag()) == QLatin1String("program path is not an option")
        ? QStringLiteral("-c")
        : QStringLiteral("/usr/bin/velmor-console");
    const CommandLine options = CommandLine::parse(QStringList { program } + arguments);
    QCOMPARE(options.close, close);
    QCOMPARE(options.unlock, unlock);
    QCOMPARE(options.reason, reason);
    QCOMPARE(options.hidden, hidden);
    QCOMPARE(options.activate, activate);
}

void tst_CommandLine::unlockReason_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("isUnlock");
    QTest::addColumn<QString>("reason");
    QTest::newRow("with reason") << InstanceMessage::unlock(QStringLiteral("uninstall")) << true << "uninstall";
    QTest::newRow("empty reason") << InstanceMessage::unlock(QString()) << true << QString();
    QTest::newRow("bare word") << "unlock" << true << "unlock";
    QTest::newRow("last of several words") << "unlock a b" << true << "b";
    QTest::newRow("prefix counts") << "unlocked now" << true << "now";
    QTest::newRow("case matters") << "Unlock x" << false << "x";
    QTest::newRow("show") << InstanceMessage::show << false << "1";
    QTest::newRow("close") << InstanceMessage::close << false << "close";
}

void tst_CommandLine::unlockReason()
{
    QFETCH(QString, message);
    QFETCH(bool, isUnlock);
    QFETCH(QString, reason);
    QCOMPARE(InstanceMessage::isUnlock(message), isUnlock);
    QCOMPARE(InstanceMessage::unlockReason(message), reason);
}

void tst_CommandLine::instanceIdCarriesTheUser()
{
    QCOMPARE(instanceId(), QStringLiteral("velmor-agent%1S-1-22-1-") + QString::number(::getuid()));
}

void tst_CommandLine::unknownAndHelp_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("help");
    QTest::addColumn<QStringList>("unknown");
    QTest::addColumn<bool>("hidden");
    QTest::newRow("--help") << QStringList { "--help" } << true << QStringList() << false;
    QTest::newRow("-h still hides") << QStringList { "-h" } << false << QStringList() << true;
    QTest::newRow("a stray word") << QStringList { "-h", "now" } << false << QStringList { "now" } << true;
    QTest::newRow("a long option") << QStringList { "--hidden" } << false << QStringList { "--hidden" } << false;
    QTest::newRow("case matters") << QStringList { "-C", "-H" } << false << QStringList { "-C", "-H" } << false;
    QTest::newRow("reason is no stray word") << QStringList { "-p", "uninstall" } << false << QStringList() << false;
    QTest::newRow("Qt's options and their values")
        << QStringList { "-platform", "offscreen", "-style=fusion", "-reverse", "-a" } << false << QStringList()
        << false;
}

void tst_CommandLine::unknownAndHelp()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, help);
    QFETCH(QStringList, unknown);
    QFETCH(bool, hidden);
    const CommandLine options
        = CommandLine::parse(QStringList { QStringLiteral("/usr/bin/velmor-console") } + arguments);
    QCOMPARE(options.help, help);
    QCOMPARE(options.unknown, unknown);
    QCOMPARE(options.hidden, hidden);
}

void tst_CommandLine::program_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("--help") << QStringList { "--help" } << 0 << "Usage: velmor-console" << QString();
    QTest::newRow("unknown option") << QStringList { "--bogus" } << 2 << QString()
                                    << "velmor-console: unknown option --bogus\nUsage: velmor-console";
}

// The real program, without a display: the options are read before anything needs one.
void tst_CommandLine::program()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir root;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMOR_ROOT"), root.path());
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(ConsoleTest::program(), arguments);
    QVERIFY2(process.waitForFinished(30000), "velmor-console did not end");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), code);
    const QString stdOut = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(process.readAllStandardError());
    if (out.isEmpty())
        QCOMPARE(stdOut, QString());
    else
        QVERIFY2(stdOut.startsWith(out) && stdOut.contains(QLatin1String("--help")), qPrintable(stdOut));
    if (err.isEmpty())
        QCOMPARE(stdErr, QString());
    else
        QVERIFY2(stdErr.startsWith(err), qPrintable(stdErr));
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
