#include "shell/commandline.h"

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

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
