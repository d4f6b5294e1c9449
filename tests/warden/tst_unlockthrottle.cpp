#include "core/unlockthrottle.h"

#include <QTest>

#include <memory>

using namespace Velmor;

namespace {

qint64 fakeNow = 0;
qint64 fakeClock()
{
    return fakeNow;
}

} // namespace

// The pause between settings passwords, on a clock the test moves.
class tst_UnlockThrottle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void delayDoublesToAMinute();
    void attemptsRunInOrderOneAtATime();
    void attemptOfAGoneContextIsDropped();
    void goneCheckLetsTheNextRun();

private:
    std::unique_ptr<UnlockThrottle> m_throttle;
};

void tst_UnlockThrottle::init()
{
    fakeNow = 5000;
    m_throttle = std::make_unique<UnlockThrottle>();
    m_throttle->clock = &fakeClock;
}

void tst_UnlockThrottle::delayDoublesToAMinute()
{
    QList<qint64> delays;
    for (int i = 0; i < 9; ++i) {
        m_throttle->whenAllowed(this, [] {});
        QVERIFY(m_throttle->isChecking());
        m_throttle->refused();
        delays.append(m_throttle->heldUntil() - fakeNow);
        fakeNow = m_throttle->heldUntil();
    }
    QCOMPARE(delays, (QList<qint64> { 1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000 }));
    bool ran = false;
    m_throttle->whenAllowed(this, [&ran] { ran = true; });
    QVERIFY(ran);
    m_throttle->accepted();
    QCOMPARE(m_throttle->nextDelay(), UnlockThrottle::firstDelay);
    QCOMPARE(m_throttle->heldUntil(), qint64(0));
}

void tst_UnlockThrottle::attemptsRunInOrderOneAtATime()
{
    QStringList ran;
    QObject a;
    QObject b;
    m_throttle->whenAllowed(&a, [&] { ran.append(QStringLiteral("a1")); });
    m_throttle->whenAllowed(&b, [&] { ran.append(QStringLiteral("b1")); });
    m_throttle->whenAllowed(&a, [&] { ran.append(QStringLiteral("a2")); });
    QCOMPARE(ran, QStringList { "a1" });
    QCOMPARE(m_throttle->waiting(), 2);
    m_throttle->refused();
    m_throttle->release();
    QCOMPARE(ran, QStringList { "a1" });
    fakeNow += 1000;
    m_throttle->release();
    QCOMPARE(ran, (QStringList { "a1", "b1" }));
    // An accepted password lets the next one run at once.
    m_throttle->accepted();
    m_throttle->release();
    QCOMPARE(ran, (QStringList { "a1", "b1", "a2" }));
    QCOMPARE(m_throttle->waiting(), 0);
}

void tst_UnlockThrottle::attemptOfAGoneContextIsDropped()
{
    QStringList ran;
    QObject first;
    m_throttle->whenAllowed(&first, [&] { ran.append(QStringLiteral("first")); });
    {
        QObject gone;
        m_throttle->whenAllowed(&gone, [&] { ran.append(QStringLiteral("gone")); });
    }
    QObject last;
    m_throttle->whenAllowed(&last, [&] { ran.append(QStringLiteral("last")); });
    m_throttle->accepted();
    m_throttle->release();
    QCOMPARE(ran, (QStringList { "first", "last" }));
}

void tst_UnlockThrottle::goneCheckLetsTheNextRun()
{
    bool ran = false;
    QObject waiting;
    {
        QObject checking;
        m_throttle->whenAllowed(&checking, [] {});
        m_throttle->whenAllowed(&waiting, [&ran] { ran = true; });
        QVERIFY(m_throttle->isChecking());
    }
    // Its answer never comes: the next attempt runs on the next turn instead of waiting for ever.
    QTRY_VERIFY(ran);
}

QTEST_GUILESS_MAIN(tst_UnlockThrottle)
#include "tst_unlockthrottle.moc"
