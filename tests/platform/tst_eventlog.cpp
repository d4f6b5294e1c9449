#include "platform/eventlog.h"
#include "platform/eventlog_p.h"

#include "scratchroot.h"

#include <QFile>
#include <QtConcurrent>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using namespace Velmor::Platform;

// The Application event log: kept under its size limit by dropping the oldest entries, and never written through
// a link put in its place.
class tst_EventLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void oldestEntriesGoFirst();
    void concurrentWritersKeepWholeEntries();
    void linkIsNotFollowed();

private:
    static QString logPath() { return qEnvironmentVariable("VELMOR_ROOT") + "/eventlog/Application.log"; }
    static qint64 logSize() { return QFileInfo(logPath()).size(); }

    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_EventLog::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
}

void tst_EventLog::cleanup()
{
    EventLog::setSizeLimit(0);
    m_root.reset();
}

void tst_EventLog::oldestEntriesGoFirst()
{
    QCOMPARE(EventLog::sizeLimit(), EventLog::DefaultSizeLimit);
    QCOMPARE(EventLog::DefaultSizeLimit, 20 * 1024 * 1024);
    const qint64 limit = 10000;
    EventLog::setSizeLimit(limit);
    qint64 largest = 0;
    for (int i = 0; i < 1000; ++i) {
        QVERIFY(EventLog::report("Source", EventLog::Information, i, QStringLiteral("entry %1").arg(i)));
        largest = qMax(largest, logSize());
    }
    QVERIFY2(largest <= limit, qPrintable(QString::number(largest)));

    // What is left is the newest entries, without a gap, whole.
    const QList<EventLog::Entry> entries = EventLog::entries();
    QVERIFY(entries.size() > 50);
    QCOMPARE(entries.last().id, 999);
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(entries.at(i).id, 1000 - entries.size() + i);
        QCOMPARE(entries.at(i).text, QStringLiteral("entry %1").arg(entries.at(i).id));
    }
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(logPath()).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0644));
}

void tst_EventLog::concurrentWritersKeepWholeEntries()
{
    EventLog::setSizeLimit(20000);
    const int writers = 4;
    const int perWriter = 300;
    QList<QFuture<void>> futures;
    for (int writer = 0; writer < writers; ++writer) {
        futures.append(QtConcurrent::run([writer] {
            for (int i = 0; i < perWriter; ++i)
                EventLog::report(QStringLiteral("writer %1").arg(writer), EventLog::Warning, i, QString(40, 'x'));
        }));
    }
    for (QFuture<void> &future : futures)
        future.waitForFinished();

    QVERIFY(logSize() <= 20000);
    QFile log(logPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    const QList<EventLog::Entry> entries = EventLog::entries();
    QCOMPARE(entries.size(), lines.size() - 1); // every line is a whole entry
    QVERIFY(!entries.isEmpty());
    // Each writer's entries that are kept are its newest, none lost between them: an entry written while the log
    // was trimmed did not go to the file that was replaced.
    for (int writer = 0; writer < writers; ++writer) {
        QList<int> ids;
        for (const EventLog::Entry &entry : entries) {
            if (entry.source == QStringLiteral("writer %1").arg(writer))
                ids.append(entry.id);
        }
        if (!ids.isEmpty())
            QCOMPARE(ids.last(), perWriter - 1);
        for (int i = 1; i < ids.size(); ++i)
            QCOMPARE(ids.at(i), ids.at(i - 1) + 1);
    }
}

void tst_EventLog::linkIsNotFollowed()
{
    const QString target = m_root->path("root-only");
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("secret\n");
    file.close();
    QVERIFY(QDir().mkpath(m_root->path("eventlog")));
    QVERIFY(QFile::link(target, logPath()));

    QVERIFY(!EventLog::report("Source", EventLog::Error, 1, "through the link"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("secret\n"));
    QCOMPARE(EventLog::entries().size(), 0);
}

QTEST_GUILESS_MAIN(tst_EventLog)
#include "tst_eventlog.moc"
