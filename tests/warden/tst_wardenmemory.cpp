#include "../cabinet/accountservice.h"
#include "livewarden.h"
#include "scratchroot.h"
#include "servertest.h"

#include <QtTest>

namespace {

const QString user = QStringLiteral("owner@example.com");
const QString password = QStringLiteral("Pa55-7f3c-unique-secret");

// The peak resident set of a process so far, in KiB; -1 when it cannot be read.
qint64 peakKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // Files of /proc have no size: read to the end, not while atEnd() is false.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

// The memory a local peer of the real velmor-warden can make it hold, read from the kernel as the service's peak
// resident set: a batch of calls whose answers it never reads, and many packets it never finishes.
class tst_WardenMemory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void peerCannotGrowTheService();

private:
    AccountService m_account;
    QTemporaryDir m_logs;
    WardenTest::Resolver m_resolver;
};

void tst_WardenMemory::initTestCase()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    QVERIFY(m_account.start());
    // The longest lists the link carries: each "domains" answer is about half a megabyte.
    m_account.addAccount(user, password, 1, 10000);
    QVERIFY(m_resolver.start(m_logs.filePath(QStringLiteral("queries.jsonl"))));
}

void tst_WardenMemory::peerCannotGrowTheService()
{
    // Under AddressSanitizer, memory freed is kept for a while: that is not what is measured here.
    const QByteArray sanitizer = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", sanitizer + (sanitizer.isEmpty() ? "" : ":") + "quarantine_size_mb=16");
    WardenTest::LiveWarden warden(m_account, m_resolver.port(),
        { { NetworkTest::adapterId(1), QStringLiteral("Ethernet"), QStringLiteral("192.168.1.20"),
            QStringLiteral("10.0.0.1"), true } },
        {});
    QVERIFY2(warden.start(), warden.process ? warden.process->readAllStandardError().constData() : "not started");
    const qint64 pid = warden.process->processId();

    QProcess client;
    client.start(QStringLiteral("/usr/bin/python3"),
        { TestSupport::fixture(QStringLiteral("warden_client.py")), QStringLiteral("pressure"),
            QStringLiteral("--port"), QString::number(warden.ipcPort), QStringLiteral("--user"), user,
            QStringLiteral("--password"), password });
    QVERIFY(client.waitForStarted(10000));
    QMap<QString, qint64> peaks;
    QString out;
    while (client.state() == QProcess::Running || client.canReadLine()) {
        if (!client.canReadLine() && !client.waitForReadyRead(300000))
            break;
        while (client.canReadLine()) {
            const QString line = QString::fromUtf8(client.readLine()).trimmed();
            out += line + QLatin1Char('\n');
            if (!line.startsWith(QLatin1String("checkpoint ")))
                continue;
            peaks.insert(line.mid(11), peakKiB(pid));
            client.write("ok\n");
        }
    }
    QVERIFY(client.state() == QProcess::NotRunning || client.waitForFinished(300000));
    QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0,
        qPrintable(out + QString::fromUtf8(client.readAllStandardError())));
    QCOMPARE(peaks.keys(), QStringList({ "baseline", "partial packets", "slow reader" }));
    qInfo("peak resident set: %lld KiB at start, %lld KiB after the slow reader, %lld KiB after the unfinished packets",
        peaks.value("baseline"), peaks.value("slow reader"), peaks.value("partial packets"));
    // The answers the slow reader would get come to a gigabyte, the unfinished packets to 600 MiB. AddressSanitizer's
    // allocator keeps what a growing buffer leaves behind and adds its shadow: the same service needs about twice.
#if defined(__SANITIZE_ADDRESS__)
    const qint64 boundKiB = 512 * 1024;
#else
    const qint64 boundKiB = 256 * 1024;
#endif
    QVERIFY2(peaks.value("slow reader") - peaks.value("baseline") < boundKiB,
        qPrintable(
            QStringLiteral("slow reader: %1 KiB more").arg(peaks.value("slow reader") - peaks.value("baseline"))));
    // The batch may still be answered when the unfinished packets arrive: both together stay under a bound too.
    QVERIFY2(peaks.value("partial packets") - peaks.value("baseline") < boundKiB * 3 / 2,
        qPrintable(QStringLiteral("slow reader and unfinished packets: %1 KiB more")
                       .arg(peaks.value("partial packets") - peaks.value("baseline"))));
    // Stopped, the service has written all of its log.
    VERIFY_STOPS_CLEANLY(warden);
    const QStringList log = WardenTest::logOf(WardenTest::serviceName);
    QVERIFY2(!log.filter(QStringLiteral("IPC answer longer than")).isEmpty(), qPrintable(log.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_WardenMemory)
#include "tst_wardenmemory.moc"
