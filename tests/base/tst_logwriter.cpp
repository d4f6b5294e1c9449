#include "base/logwriter.h"

#include "platform/eventlog.h"

#include "scratchroot.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

using namespace Velmor;
using Velmor::Platform::EventLog::Type;

// The service's log thread: what comes again is counted, what does not fit is dropped and counted, and nothing is
// lost without a number in the log.
class tst_LogWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_root = std::make_unique<TestSupport::ScratchRoot>(); }
    void cleanup() { m_root.reset(); }
    void repeatsAreCounted();
    void fullQueueDropsAndCounts();

private:
    static QStringList texts()
    {
        QStringList lines;
        const QList<Platform::EventLog::Entry> all = Platform::EventLog::entries();
        for (const Platform::EventLog::Entry &entry : all)
            lines.append(entry.text);
        return lines;
    }

    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_LogWriter::repeatsAreCounted()
{
    {
        LogWriter writer(QStringLiteral("Test"));
        for (int i = 0; i < 10; ++i)
            writer.postRepeatable(Platform::EventLog::Warning, QStringLiteral("same"));
        writer.postRepeatable(Platform::EventLog::Warning, QStringLiteral("other"));
        // Not repeatable: each is written.
        writer.post(Platform::EventLog::Information, QStringLiteral("plain"));
        writer.post(Platform::EventLog::Information, QStringLiteral("plain"));
    }
    QCOMPARE(
        texts(), QStringList({ "same", "other", "plain", "plain", "Repeated 9 more times in the last minute: same" }));
}

void tst_LogWriter::fullQueueDropsAndCounts()
{
    // Each entry waits for the lock that another program holds, so the queue fills faster than it drains.
    QProcess holder;
    const QString lock = m_root->path(QStringLiteral("eventlog/.lock"));
    QVERIFY(QDir().mkpath(QFileInfo(lock).path()));
    QFile file(lock);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    holder.start(QStringLiteral("/usr/bin/python3"),
        { TestSupport::fixture(QStringLiteral("hold_lock.py")), QStringLiteral("flock"), lock });
    QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine(), 30000);
    QCOMPARE(holder.readLine(), QByteArray("held\n"));

    // Whatever the thread took before it stalled, a full queue's worth and more comes after.
    const int posted = 2 * LogWriter::queueLimit + 100;
    {
        LogWriter writer(QStringLiteral("Test"));
        for (int i = 0; i < posted; ++i)
            writer.post(Platform::EventLog::Information, QStringLiteral("entry %1").arg(i));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(30000));
    }
    const QStringList lines = texts();
    const QRegularExpression droppedLine(
        QStringLiteral("^(\\d+) log entries were dropped: the log could not keep up$"));
    int written = 0;
    int dropped = 0;
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = droppedLine.match(line);
        if (match.hasMatch())
            dropped += match.captured(1).toInt();
        else if (line.startsWith(QLatin1String("entry ")))
            ++written;
    }
    QVERIFY(dropped > 0);
    QCOMPARE(written + dropped, posted);
}

QTEST_GUILESS_MAIN(tst_LogWriter)
#include "tst_logwriter.moc"
