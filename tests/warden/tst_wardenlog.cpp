#include "../cabinet/accountservice.h"
#include "livewarden.h"
#include "scratchroot.h"
#include "servertest.h"

#include <QElapsedTimer>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString user = QStringLiteral("owner@example.com");
const QString password = QStringLiteral("Pa55-7f3c-unique-secret");

} // namespace

// The real velmor-warden signed in by token while another local user makes it log, or the log itself is held: the
// log stays readable, and DNS through the proxy is answered all the while.
class tst_WardenLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void repeatedLinesAreCounted_data();
    void repeatedLinesAreCounted();
    void stalledLogDelaysNoAnswer_data();
    void stalledLogDelaysNoAnswer();

private:
    // Runs tests/fixtures/log_flood.py, as the user nobody when the test runs as root, and waits for it to start.
    void flood(QProcess *process, const QString &way, quint16 port, int count);
    // dig through the proxy: the answer, and how long it took in *elapsedMs.
    QByteArray dig(qint64 *elapsedMs = nullptr);
    static QStringList logLines(const QString &containing)
    {
        return WardenTest::logOf(WardenTest::serviceName).filter(containing);
    }

    AccountService m_account;
    QTemporaryDir m_logs;
    WardenTest::Resolver m_resolver;
    std::unique_ptr<WardenTest::LiveWarden> m_warden;
};

void tst_WardenLog::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    QVERIFY(m_account.start());
    m_account.addAccount(user, password, 1, 3);
    QVERIFY(m_resolver.start(
        m_logs.filePath(QStringLiteral("queries.jsonl")), { QStringLiteral("first.test A 10.0.0.1") }));
}

void tst_WardenLog::init()
{
    m_warden = std::make_unique<WardenTest::LiveWarden>(m_account, m_resolver.port(),
        QList<WardenTest::SimulatedAdapter> { { NetworkTest::adapterId(1), QStringLiteral("Ethernet"),
            QStringLiteral("192.168.1.20"), QStringLiteral("10.0.0.1"), true } },
        QVariantMap());
    // Other users reach the machine's folder as they reach /var/lib.
    QVERIFY(::chmod(QFile::encodeName(m_warden->machine.path(QString())).constData(), 0755) == 0);
    QVERIFY(m_warden->start());
    QProcess client;
    client.start(QStringLiteral("/usr/bin/python3"),
        { TestSupport::fixture(QStringLiteral("warden_client.py")), QStringLiteral("signin"), QStringLiteral("--port"),
            QString::number(m_warden->ipcPort), QStringLiteral("--user"), user, QStringLiteral("--password"),
            password });
    QVERIFY(client.waitForFinished(120000));
    QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());
    QCOMPARE(dig(), QByteArray("10.0.0.1\n"));
}

void tst_WardenLog::cleanup()
{
    m_warden.reset();
}

void tst_WardenLog::flood(QProcess *process, const QString &way, quint16 port, int count)
{
    QStringList command { QStringLiteral("/usr/bin/python3"), TestSupport::fixture(QStringLiteral("log_flood.py")), way,
        QString::number(port), QString::number(count) };
    if (WardenTest::isRoot())
        command = QStringList { QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
            QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups") }
            + command;
    process->start(command.takeFirst(), command);
    QVERIFY(process->waitForStarted(30000));
}

QByteArray tst_WardenLog::dig(qint64 *elapsedMs)
{
    QElapsedTimer timer;
    timer.start();
    // Asks again as a stub resolver does: on a loaded machine a flood can fill the proxy's receive buffer.
    const QByteArray answer = WardenTest::digFirst(m_warden->proxyPort, 3, 5);
    if (elapsedMs)
        *elapsedMs = timer.elapsed();
    return answer;
}

void tst_WardenLog::repeatedLinesAreCounted_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("line");
    QTest::newRow("malformed DNS datagrams") << "dns" << 3000 << "Warning: invalid label size";
    QTest::newRow("a link that reconnects in a loop")
        << "reconnect" << 300 << "Warning: failed to find slot noSuchMethod";
}

void tst_WardenLog::repeatedLinesAreCounted()
{
    QFETCH(QString, way);
    QFETCH(int, count);
    QFETCH(QString, line);
    QProcess attacker;
    flood(&attacker, way, way == QLatin1String("dns") ? m_warden->proxyPort : m_warden->ipcPort, count);
    // Answered while the peer acts.
    QCOMPARE(dig(), QByteArray("10.0.0.1\n"));
    QVERIFY(attacker.waitForFinished(60000));
    QCOMPARE(attacker.readAllStandardOutput(), QByteArray("done\n"));
    QCOMPARE(dig(), QByteArray("10.0.0.1\n"));

    // Once as it came; the rest of the minute only as a count, written at the latest when the service stops.
    QTRY_COMPARE_WITH_TIMEOUT(logLines(line).size(), 1, 30000);
    VERIFY_STOPS_CLEANLY(*m_warden);
    const QStringList lines = logLines(line.section(QLatin1String(": "), 1));
    QCOMPARE(lines.size(), 2);
    const QRegularExpressionMatch counted
        = QRegularExpression(QStringLiteral("^Warning: Repeated (\\d+) more times in the last minute: ")
            + QRegularExpression::escape(line.section(QLatin1String(": "), 1)) + QLatin1Char('$'))
              .match(lines.at(1));
    QVERIFY2(counted.hasMatch(), qPrintable(lines.at(1)));
    QVERIFY(counted.captured(1).toInt() >= 1);
    QVERIFY(counted.captured(1).toInt() < count);
}

void tst_WardenLog::stalledLogDelaysNoAnswer_data()
{
    QTest::addColumn<QString>("stall");
    QTest::newRow("the log's lock held by another program") << "lock";
    QTest::newRow("a FIFO in place of the log") << "fifo";
}

void tst_WardenLog::stalledLogDelaysNoAnswer()
{
    QFETCH(QString, stall);
    const QString log = m_warden->machine.path(QStringLiteral("eventlog/Application.log"));
    QProcess holder;
    if (stall == QLatin1String("lock")) {
        holder.start(QStringLiteral("/usr/bin/python3"),
            { TestSupport::fixture(QStringLiteral("hold_lock.py")), QStringLiteral("flock"),
                m_warden->machine.path(QStringLiteral("eventlog/.lock")) });
        QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine(), 30000);
        QCOMPARE(holder.readLine(), QByteArray("held\n"));
    } else {
        QVERIFY(QFile::remove(log));
        QVERIFY(::mkfifo(QFile::encodeName(log).constData(), 0644) == 0);
    }

    // Lines of as many kinds as a user's links can make: each one waits for the log.
    QProcess attacker;
    flood(&attacker, QStringLiteral("distinct"), m_warden->ipcPort, 150);
    QVERIFY(attacker.waitForFinished(60000));
    QCOMPARE(attacker.readAllStandardOutput(), QByteArray("done\n"));
    qint64 elapsedMs = 0;
    QCOMPARE(dig(&elapsedMs), QByteArray("10.0.0.1\n"));
    QVERIFY2(elapsedMs < 5000, qPrintable(QString::number(elapsedMs)));

    if (stall == QLatin1String("lock")) {
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));
    } else {
        QVERIFY(QFile::remove(log));
    }
    VERIFY_STOPS_CLEANLY(*m_warden);
}

QTEST_GUILESS_MAIN(tst_WardenLog)
#include "tst_wardenlog.moc"
