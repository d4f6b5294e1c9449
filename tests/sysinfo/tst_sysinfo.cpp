#include "applicationlog.h"

#include "velmorwire/sysinfo.h"
#include "velmorwire/sysinfo_p.h"

#include "platform/eventlog.h"

#include "scratchroot.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Velmor::SysInfo;
namespace EventLog = Velmor::Platform::EventLog;

namespace {

QByteArray utf16(const QString &text)
{
    QStringEncoder encoder(QStringConverter::Utf16LE);
    return encoder(text);
}

// One entry as the query tool prints it, with the blank line that ends it.
QString printedEvent(int index, const EventLog::Entry &entry, const QString &level, const QString &description)
{
    return QStringLiteral("Event[%1]:\r\n"
                          "  Log Name: Application\r\n"
                          "  Source: Velmor Agent\r\n"
                          "  Date: %2\r\n"
                          "  Event ID: %3\r\n"
                          "  Task: N/A\r\n"
                          "  Level: %4\r\n"
                          "  Opcode: N/A\r\n"
                          "  Keyword: Classic\r\n"
                          "  User: N/A\r\n"
                          "  User Name: N/A\r\n"
                          "  Computer: %5\r\n"
                          "  Description: \r\n")
               .arg(QString::number(index),
                   entry.time.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")),
                   QString::number(entry.id), level, QSysInfo::machineHostName())
        + description + QStringLiteral("\r\n\r\n");
}

} // namespace

class tst_SysInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void userAgentIsBuiltOnce();
    void redaction_data();
    void redaction();
    void toolOutput_data();
    void toolOutput();
    void runsTheQueryCommand();
    void missingToolGivesPlaceholder();
    void hungToolIsStopped();
    void extractFromTheSimulatedLog();
    void zeroCharacterEndsOnlyItsEntry();

private:
    void installFakeTool(const QByteArray &output, const QByteArray &ending);

    QByteArray m_path;
    QScopedPointer<QTemporaryDir> m_dir;
    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_SysInfo::init()
{
    m_path = qgetenv("PATH");
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_root = std::make_unique<TestSupport::ScratchRoot>();
    // Nothing but what a test puts there: no system tool may answer for the stand-in.
    qputenv("PATH", m_dir->path().toLocal8Bit());
}

void tst_SysInfo::cleanup()
{
    qputenv("PATH", m_path);
    m_root.reset();
    m_dir.reset();
}

// A query tool that records its arguments, prints the given bytes, and then runs the shell ending.
void tst_SysInfo::installFakeTool(const QByteArray &output, const QByteArray &ending)
{
    QFile data(m_dir->filePath(QStringLiteral("output")));
    QVERIFY(data.open(QIODevice::WriteOnly));
    data.write(output);
    data.close();
    QFile tool(m_dir->filePath(QStringLiteral("wevtutil")));
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\n"
               "PATH=/usr/bin:/bin\n"
               "dir=$(dirname \"$0\")\n"
               "printf '%s\\n' \"$@\" > \"$dir/arguments\"\n"
               "cat \"$dir/output\"\n"
        + ending + "\n");
    tool.close();
    QVERIFY(tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void tst_SysInfo::userAgentIsBuiltOnce()
{
    const QByteArray &first = SysInfo::userAgent();
    const QByteArray &second = SysInfo::userAgent();
    QCOMPARE(first, QByteArray("Velmor-Agent/2.3.63.4 velmor (Windows/144)"));
    QCOMPARE(&first, &second);
    QCOMPARE(first.constData(), second.constData());
}

void tst_SysInfo::redaction_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("redacted");
    QTest::newRow("rest of the line from the word on") << "Call setCredentials(\"user\", \"secret\")\nnext\n"
                                                       << "Call <credentials cutted out>\nnext\n";
    QTest::newRow("carriage return goes with the line") << "a setCredentials x\r\nb\r\n"
                                                        << "a <credentials cutted out>\nb\r\n";
    QTest::newRow("every line") << "setCredentials 1\nkeep\nx setCredentials 2\n"
                                << "<credentials cutted out>\nkeep\nx <credentials cutted out>\n";
    QTest::newRow("twice on one line") << "setCredentials a setCredentials b\nc\n"
                                       << "<credentials cutted out>\nc\n";
    QTest::newRow("last line without line feed") << "first\r\nsave setCredentials(\"user\", \"secret\")"
                                                 << "first\r\nsave <credentials cutted out>";
    QTest::newRow("other words left alone") << "credentials set\nSetCredentials\nsetcredentials\n"
                                            << "credentials set\nSetCredentials\nsetcredentials\n";
}

void tst_SysInfo::redaction()
{
    QFETCH(QString, log);
    QFETCH(QString, redacted);
    QCOMPARE(Velmor::SysInfoPrivate::redacted(log), redacted);
}

void tst_SysInfo::toolOutput_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QByteArray>("ending");
    QTest::addColumn<QString>("log");
    const QString text = QStringLiteral("Event[0]:\r\n  Description: \r\nGrüße ✓\r\n");
    QTest::newRow("UTF-16 text") << utf16(text) << QByteArray() << text;
    QTest::newRow("cut at the first zero character")
        << utf16(text) + QByteArray(2, '\0') + utf16(QStringLiteral("rest")) << QByteArray() << text;
    QTest::newRow("non-zero exit status keeps the output") << utf16(text) << QByteArray("exit 3") << text;
    QTest::newRow("crash gives the placeholder")
        << utf16(text) << QByteArray("kill -SEGV $$") << QStringLiteral("<unimplemented>");
    QTest::newRow("redacted through the last line")
        << utf16(QStringLiteral("a\r\nsetCredentials(x)\r\nb setCredentials(y)")) << QByteArray()
        << QStringLiteral("a\r\n<credentials cutted out>\nb <credentials cutted out>");
}

void tst_SysInfo::toolOutput()
{
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, ending);
    QFETCH(QString, log);
    installFakeTool(output, ending);
    QCOMPARE(SysInfo::systemLog(), log);
}

void tst_SysInfo::runsTheQueryCommand()
{
    installFakeTool(QByteArray(), QByteArray());
    QCOMPARE(Velmor::SysInfoPrivate::queryTool(), m_dir->filePath(QStringLiteral("wevtutil")));
    QCOMPARE(SysInfo::systemLog(), QString());
    QFile arguments(m_dir->filePath(QStringLiteral("arguments")));
    QVERIFY(arguments.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(arguments.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
        QStringList({ "qe", "Application",
            "/q:*[System[Provider[@Name='Velmor Agent'] and TimeCreated[timediff(@SystemTime) <= "
            "86400000]]]",
            "/uni:true", "/f:text" }));
}

void tst_SysInfo::missingToolGivesPlaceholder()
{
    QCOMPARE(Velmor::SysInfoPrivate::queryTool(), QString());
    QCOMPARE(SysInfo::systemLog(), QStringLiteral("<unimplemented>"));
}

void tst_SysInfo::hungToolIsStopped()
{
    installFakeTool(utf16(QStringLiteral("partial")), QByteArray("exec sleep 30"));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(Velmor::SysInfoPrivate::systemLog(200), QStringLiteral("<unimplemented>"));
    QVERIFY(timer.elapsed() < 10000);
}

void tst_SysInfo::extractFromTheSimulatedLog()
{
    qputenv("PATH", QByteArray(WEVTUTIL_DIR));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(appendLogEntry(now.addSecs(-25 * 3600), QStringLiteral("Velmor Agent"), EventLog::Information, 1,
        QStringLiteral("Older than a day")));
    QVERIFY(appendLogEntry(now.addSecs(-23 * 3600), QStringLiteral("Velmor Agent"), EventLog::Warning, 7,
        QStringLiteral("Within the day")));
    QVERIFY(appendLogEntry(now.addSecs(-3600), QStringLiteral("Other Program"), EventLog::Error, 2,
        QStringLiteral("Someone else's setCredentials")));
    QVERIFY(EventLog::report(QStringLiteral("Velmor Agent"), EventLog::Information, 0,
        QStringLiteral("Call: setCredentials(\"user\", \"secret\")\nnext line")));
    QVERIFY(EventLog::report(
        QStringLiteral("Velmor Agent"), EventLog::Error, 3, QStringLiteral("Stored by setCredentials secret")));
    const QList<EventLog::Entry> entries = EventLog::entries();
    QCOMPARE(entries.size(), 5);

    const QString expected = printedEvent(0, entries.at(1), QStringLiteral("Warning"), QStringLiteral("Within the day"))
        + printedEvent(1, entries.at(3), QStringLiteral("Information"),
            QStringLiteral("Call: <credentials cutted out>\nnext line"))
        + printedEvent(
            2, entries.at(4), QStringLiteral("Error"), QStringLiteral("Stored by <credentials cutted out>\n"))
              .chopped(2);
    QCOMPARE(SysInfo::systemLog(), expected);
}

void tst_SysInfo::zeroCharacterEndsOnlyItsEntry()
{
    qputenv("PATH", QByteArray(WEVTUTIL_DIR));
    QVERIFY(EventLog::report(QStringLiteral("Velmor Agent"), EventLog::Warning, 0,
        QStringLiteral("adapter name: eth") + QChar(0) + QStringLiteral("garbage")));
    QVERIFY(EventLog::report(QStringLiteral("Velmor Agent"), EventLog::Information, 0, QStringLiteral("next entry")));
    const QList<EventLog::Entry> entries = EventLog::entries();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).text, QStringLiteral("adapter name: eth"));

    // The extract ends at the first zero character, so one in an entry would cut off every later one.
    const QString expected
        = printedEvent(0, entries.at(0), QStringLiteral("Warning"), QStringLiteral("adapter name: eth"))
        + printedEvent(1, entries.at(1), QStringLiteral("Information"), QStringLiteral("next entry"));
    QCOMPARE(SysInfo::systemLog(), expected);
}

QTEST_GUILESS_MAIN(tst_SysInfo)
#include "tst_sysinfo.moc"
