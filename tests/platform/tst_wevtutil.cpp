#include "applicationlog.h"

#include "platform/eventlog.h"

#include "scratchroot.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTest>

#include <memory>

namespace EventLog = Velmor::Platform::EventLog;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray output;
    QByteArray error;
};

Run runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(WEVTUTIL_PATH), arguments);
    Run run;
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.output = process.readAllStandardOutput();
    run.error = process.readAllStandardError();
    return run;
}

QList<int> printedIds(const QByteArray &output)
{
    QList<int> ids;
    static const QRegularExpression idLine(
        QStringLiteral("^  Event ID: (\\d+)\\r$"), QRegularExpression::MultilineOption);
    auto it = idLine.globalMatch(QString::fromUtf8(output));
    while (it.hasNext())
        ids.append(it.next().captured(1).toInt());
    return ids;
}

const QString ServiceQuery
    = QStringLiteral("/q:*[System[Provider[@Name='Velmor Agent'] and TimeCreated[timediff(@SystemTime) <= 86400000]]]");

} // namespace

class tst_Wevtutil : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void selectsEntries_data();
    void selectsEntries();
    void printsUtf16WhenAsked();
    void emptyLogPrintsNothing();
    void refusesWhatItDoesNotKnow_data();
    void refusesWhatItDoesNotKnow();

private:
    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_Wevtutil::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
    QVERIFY(m_root->isValid());
}

void tst_Wevtutil::cleanup()
{
    m_root.reset();
}

void tst_Wevtutil::selectsEntries_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QList<int>>("ids");
    QTest::newRow("the service's last day") << ServiceQuery << QList<int>({ 2, 5 });
    QTest::newRow("conditions the other way round")
        << "/q:*[System[TimeCreated[timediff(@SystemTime) <= 86400000] and Provider[@Name=\"velmor agent\"]]]"
        << QList<int>({ 2, 5 });
    QTest::newRow("one source") << "/q:*[System[Provider[@Name='Velmor Agent']]]" << QList<int>({ 1, 2, 5 });
    QTest::newRow("a time span") << "/q:*[System[TimeCreated[timediff(@SystemTime) <= 7200000]]]"
                                 << QList<int>({ 3, 4, 5 });
    QTest::newRow("everything") << "/q:*" << QList<int>({ 1, 2, 3, 4, 5 });
}

void tst_Wevtutil::selectsEntries()
{
    QFETCH(QString, query);
    QFETCH(QList<int>, ids);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(appendLogEntry(now.addSecs(-25 * 3600), "Velmor Agent", EventLog::Information, 1, "old"));
    QVERIFY(appendLogEntry(now.addSecs(-23 * 3600), "Velmor Agent", EventLog::Information, 2, "today"));
    QVERIFY(appendLogEntry(now.addSecs(-3600), "Other", EventLog::Error, 3, "other"));
    QVERIFY(appendLogEntry(now.addSecs(-60), "Velmor Agentur", EventLog::Warning, 4, "similar name"));
    QVERIFY(EventLog::report("Velmor Agent", EventLog::Success, 5, "now"));

    const Run run = runTool({ "qe", "Application", query, "/f:text" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(printedIds(run.output), ids);
    QCOMPARE(run.output.count("Event["), ids.size());
}

void tst_Wevtutil::printsUtf16WhenAsked()
{
    QVERIFY(EventLog::report("Velmor Agent", EventLog::Warning, 9, "Grüße ✓\nzweite Zeile"));
    const Run text = runTool({ "qe", "Application", ServiceQuery, "/f:text" });
    const Run unicode = runTool({ "qe", "Application", ServiceQuery, "/uni:true", "/f:text" });
    QCOMPARE(unicode.exitCode, 0);
    QVERIFY(text.output.contains("  Level: Warning\r\n"));
    QVERIFY(text.output.endsWith("  Description: \r\nGrüße ✓\r\nzweite Zeile\r\n\r\n"));
    QStringEncoder encoder(QStringConverter::Utf16LE);
    QCOMPARE(unicode.output, QByteArray(encoder(QString::fromUtf8(text.output))));
}

void tst_Wevtutil::emptyLogPrintsNothing()
{
    const Run run = runTool({ "qe", "Application", ServiceQuery, "/uni:true", "/f:text" });
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.output, QByteArray());
}

void tst_Wevtutil::refusesWhatItDoesNotKnow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no command") << QStringList();
    QTest::newRow("other command") << QStringList({ "el" });
    QTest::newRow("no log") << QStringList({ "qe" });
    QTest::newRow("other log") << QStringList({ "qe", "System", ServiceQuery });
    QTest::newRow("xml") << QStringList({ "qe", "Application", ServiceQuery, "/f:xml" });
    QTest::newRow("unknown option") << QStringList({ "qe", "Application", "/rd:true" });
    QTest::newRow("option without value") << QStringList({ "qe", "Application", "/uni" });
    QTest::newRow("bad boolean") << QStringList({ "qe", "Application", "/uni:yes" });
    QTest::newRow("other condition") << QStringList({ "qe", "Application", "/q:*[System[Level=2]]" });
    QTest::newRow("provider twice") << QStringList(
        { "qe", "Application", "/q:*[System[Provider[@Name='a'] and Provider[@Name='b']]]" });
    QTest::newRow("span not a number") << QStringList(
        { "qe", "Application", "/q:*[System[TimeCreated[timediff(@SystemTime) <= x]]]" });
    QTest::newRow("other comparison") << QStringList(
        { "qe", "Application", "/q:*[System[TimeCreated[timediff(@SystemTime) >= 1000]]]" });
    QTest::newRow("or") << QStringList(
        { "qe", "Application", "/q:*[System[Provider[@Name='a'] or Provider[@Name='b']]]" });
    QTest::newRow("trailing text") << QStringList({ "qe", "Application", "/q:*[System[Provider[@Name='a']]] x" });
}

void tst_Wevtutil::refusesWhatItDoesNotKnow()
{
    QFETCH(QStringList, arguments);
    QVERIFY(EventLog::report("Velmor Agent", EventLog::Information, 1, "an entry"));
    const Run run = runTool(arguments);
    QCOMPARE(run.exitCode, 87);
    QCOMPARE(run.output, QByteArray());
    QVERIFY(!run.error.isEmpty());
}

QTEST_GUILESS_MAIN(tst_Wevtutil)
#include "tst_wevtutil.moc"
