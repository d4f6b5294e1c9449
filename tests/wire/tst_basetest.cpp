#include "velmorwire/basetest.h"

#include <QAtomicInt>
#include <QTest>
#include <QThreadPool>

class tst_BaseTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordWrittenOnlyAfterTheTest();
    void poolDeletesTheCheck();
};

namespace {

// Looks at its record while its test runs: it must still be untouched.
class Probe : public base_test
{
public:
    Probe(TestResult *record, bool answer, bool *sawUntouched)
        : base_test(record)
        , m_answer(answer)
        , m_sawUntouched(sawUntouched)
    { }

protected:
    bool test() override
    {
        log += QStringLiteral("first line\n");
        *m_sawUntouched = record->text.isEmpty() && !record->result;
        log += QStringLiteral("second line\n");
        return m_answer;
    }

private:
    bool m_answer;
    bool *m_sawUntouched;
};

QAtomicInt deleted(0);

class Counted : public base_test
{
public:
    using base_test::base_test;
    ~Counted() override { deleted.fetchAndAddRelaxed(1); }

protected:
    bool test() override { return true; }
};

} // namespace

void tst_BaseTest::recordWrittenOnlyAfterTheTest()
{
    for (const bool answer : { true, false }) {
        TestResult record;
        bool sawUntouched = false;
        bool finishedAfterRecord = false;
        Probe probe(&record, answer, &sawUntouched);
        probe.setAutoDelete(false);
        probe.setFinishedHandler(
            [&] { finishedAfterRecord = record.text == QLatin1String("first line\nsecond line\n"); });
        probe.run();
        QVERIFY(sawUntouched);
        QVERIFY(finishedAfterRecord);
        QCOMPARE(record.result, answer);
        QCOMPARE(record.text, QStringLiteral("first line\nsecond line\n"));
    }
}

void tst_BaseTest::poolDeletesTheCheck()
{
    TestResult record;
    QThreadPool pool;
    pool.start(new Counted(&record));
    QVERIFY(pool.waitForDone(10000));
    QCOMPARE(deleted.loadRelaxed(), 1);
    QVERIFY(record.result);
}

QTEST_GUILESS_MAIN(tst_BaseTest)
#include "tst_basetest.moc"
