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

const qint64 guesser = 65534;
const qint64 owner = 1000;

} // namespace

// The pause between settings passwords, per local user, on a clock the test moves.
class tst_UnlockThrottle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void delayDoublesToAMinute();
    void pausedAttemptIsToldTheTimeLeft();
    void oneUsersGuessesLeaveAnotherAlone();
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
        QCOMPARE(m_throttle->begin(guesser, this), qint64(0));
        QVERIFY(m_throttle->isChecking(guesser));
        m_throttle->refused(guesser);
        delays.append(m_throttle->heldUntil(guesser) - fakeNow);
        fakeNow = m_throttle->heldUntil(guesser);
    }
    QCOMPARE(delays, (QList<qint64> { 1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000 }));
    QCOMPARE(m_throttle->begin(guesser, this), qint64(0));
    m_throttle->accepted(guesser);
    QCOMPARE(m_throttle->nextDelay(guesser), UnlockThrottle::firstDelay);
    QCOMPARE(m_throttle->heldUntil(guesser), qint64(0));
}

void tst_UnlockThrottle::pausedAttemptIsToldTheTimeLeft()
{
    QObject first;
    QObject second;
    QCOMPARE(m_throttle->begin(guesser, &first), qint64(0));
    // One attempt of a user at a time, whichever connection it comes from.
    QCOMPARE(m_throttle->begin(guesser, &second), UnlockThrottle::checkInProgress);
    m_throttle->refused(guesser);
    m_throttle->begin(guesser, &first);
    m_throttle->refused(guesser);
    QCOMPARE(m_throttle->begin(guesser, &second), qint64(2000));
    fakeNow += 1999;
    QCOMPARE(m_throttle->begin(guesser, &second), qint64(1));
    QVERIFY(!m_throttle->isChecking(guesser));
    fakeNow += 1;
    QCOMPARE(m_throttle->begin(guesser, &second), qint64(0));
    QVERIFY(m_throttle->isChecking(guesser));
}

void tst_UnlockThrottle::oneUsersGuessesLeaveAnotherAlone()
{
    QObject guessing;
    QObject desktop;
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(m_throttle->begin(guesser, &guessing), qint64(0));
        m_throttle->refused(guesser);
        fakeNow = m_throttle->heldUntil(guesser);
    }
    QCOMPARE(m_throttle->begin(guesser, &guessing), qint64(0));
    QCOMPARE(m_throttle->begin(owner, &desktop), qint64(0));
    m_throttle->refused(owner);
    QCOMPARE(m_throttle->heldUntil(owner), fakeNow + UnlockThrottle::firstDelay);
    m_throttle->accepted(owner);
    QVERIFY(m_throttle->isChecking(guesser));
    QCOMPARE(m_throttle->nextDelay(guesser), qint64(32000));
}

void tst_UnlockThrottle::goneCheckLetsTheNextRun()
{
    {
        QObject checking;
        QCOMPARE(m_throttle->begin(guesser, &checking), qint64(0));
        QVERIFY(m_throttle->isChecking(guesser));
    }
    // Its answer never comes: the next attempt runs instead of being turned away for ever.
    QObject next;
    QCOMPARE(m_throttle->begin(guesser, &next), qint64(0));
}

QTEST_GUILESS_MAIN(tst_UnlockThrottle)
#include "tst_unlockthrottle.moc"
