#include "velmorwire/request.h"
#include "velmorwire/requestmanager.h"
#include "velmorwire/requestmanager_p.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace Velmor;

namespace {

qint64 fakeNow = 1000000;
qint64 fakeClock()
{
    return fakeNow;
}

class TestRequest : public Request
{
public:
    explicit TestRequest(quint16 ownTimeout = 0, bool autoDelete = true)
    {
        m_timeout = ownTimeout;
        m_autoDelete = autoDelete;
    }
    int finishedFlag() const { return m_finished; }
};

} // namespace

class tst_RequestManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void deadlineFromTimeout_data();
    void deadlineFromTimeout();
    void shortDeadlineAfterLongOneIsNotDelayed();
    void longDeadlineAfterShortOne();
    void finishingRearmsOnlyForTheEarliest();
    void equalDeadlinesExpireLastRegisteredFirst();
    void deadlineEqualToNowIsNotYetExpired();
    void autoDelete();
    void waitingRequestsGoWithTheManager();
    void secondFinishIsIgnored();
    void dropAndDestroy();
    void registeringTwiceKeepsOneDeadline();
    void finishHandlerMayRegisterAndDelete();
    void instanceIsShared();
    void monotonicClockAdvances();

private:
    void expire() { QMetaObject::invokeMethod(d, "timer_timeout", Qt::DirectConnection); }

    RequestManager *manager = nullptr;
    RequestManagerPrivate *d = nullptr;
};

void tst_RequestManager::init()
{
    fakeNow = 1000000;
    manager = new RequestManager;
    d = RequestManagerPrivate::get(manager);
    d->clock = &fakeClock;
}

void tst_RequestManager::cleanup()
{
    qDeleteAll(manager->requests());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete manager;
    manager = nullptr;
    d = nullptr;
}

void tst_RequestManager::deadlineFromTimeout_data()
{
    QTest::addColumn<int>("own");
    QTest::addColumn<int>("defaultTimeout");
    QTest::addColumn<int>("expectedMs");

    QTest::newRow("default applies") << 0 << 30 << 30000;
    QTest::newRow("own wins") << 5 << 30 << 5000;
    QTest::newRow("largest") << 65535 << 0 << 65535000;
}

void tst_RequestManager::deadlineFromTimeout()
{
    QFETCH(int, own);
    QFETCH(int, defaultTimeout);
    QFETCH(int, expectedMs);

    auto *r = new TestRequest(quint16(own));
    manager->insert(r, quint16(defaultTimeout));
    QCOMPARE(d->m_deadlines.value(r), quint64(fakeNow + expectedMs));
    QVERIFY(d->m_timer.isActive());
    QCOMPARE(d->m_timer.interval(), expectedMs);
    QCOMPARE(manager->requests(), QList<Request *> { r });

    QSignalSpy spy(r, &Request::finished);
    fakeNow += expectedMs;
    expire();
    QCOMPARE(spy.count(), 0); // a deadline equal to now has not passed yet
    fakeNow += 1;
    expire();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(r->error().code(), uint(Error::Timeout));
    QVERIFY(r->error().message().isEmpty());
    QVERIFY(!d->m_timer.isActive());
    QVERIFY(manager->requests().isEmpty());
}

void tst_RequestManager::shortDeadlineAfterLongOneIsNotDelayed()
{
    auto *slow = new TestRequest;
    auto *fast = new TestRequest;
    manager->insert(slow, 120);
    fakeNow += 1000;
    manager->insert(fast, 10);
    // The timer follows the earlier deadline instead of waiting for the one armed first.
    QCOMPARE(d->m_timer.interval(), 10000);
    QCOMPARE(manager->requests(), (QList<Request *> { fast, slow }));

    QSignalSpy fastSpy(fast, &Request::finished);
    QSignalSpy slowSpy(slow, &Request::finished);
    fakeNow += 10001;
    expire();
    QCOMPARE(fastSpy.count(), 1);
    QCOMPARE(fast->error().code(), uint(Error::Timeout));
    QCOMPARE(slowSpy.count(), 0);
    QCOMPARE(d->m_timer.interval(), int(1000000 + 120000 - fakeNow));
}

void tst_RequestManager::longDeadlineAfterShortOne()
{
    auto *fast = new TestRequest;
    auto *slow = new TestRequest;
    manager->insert(fast, 10);
    fakeNow += 2000;
    manager->insert(slow, 120);
    QCOMPARE(d->m_timer.interval(), 10000); // left alone: it already waits for the earlier deadline

    QSignalSpy slowSpy(slow, &Request::finished);
    fakeNow = 1000000 + 10001;
    expire();
    QCOMPARE(fast->error().code(), uint(Error::Timeout));
    QCOMPARE(slowSpy.count(), 0);
    QCOMPARE(d->m_timer.interval(), 1000000 + 2000 + 120000 - 1010001);
}

void tst_RequestManager::finishingRearmsOnlyForTheEarliest()
{
    auto *a = new TestRequest;
    auto *b = new TestRequest;
    auto *c = new TestRequest;
    manager->insert(a, 10);
    manager->insert(b, 20);
    manager->insert(c, 30);
    QCOMPARE(d->m_timer.interval(), 10000);

    fakeNow += 1000;
    b->requestFinished(Error()); // not the earliest: the timer stays as it was
    QCOMPARE(d->m_timer.interval(), 10000);
    QCOMPARE(manager->requests(), (QList<Request *> { a, c }));

    a->requestFinished(Error()); // the earliest: armed for c's remaining time
    QCOMPARE(d->m_timer.interval(), 29000);
    QVERIFY(d->m_timer.isActive());

    c->requestFinished(Error(5, "x"));
    QVERIFY(!d->m_timer.isActive());
    QVERIFY(manager->requests().isEmpty());
    QCOMPARE(c->error().code(), 5u);
}

void tst_RequestManager::equalDeadlinesExpireLastRegisteredFirst()
{
    auto *first = new TestRequest;
    auto *second = new TestRequest;
    manager->insert(first, 10);
    manager->insert(second, 10);
    QCOMPARE(manager->requests(), (QList<Request *> { second, first }));

    QList<Request *> order;
    connect(first, &Request::finished, this, [&] { order.append(first); });
    connect(second, &Request::finished, this, [&] { order.append(second); });
    fakeNow += 10001;
    expire();
    QCOMPARE(order, (QList<Request *> { second, first }));
}

void tst_RequestManager::deadlineEqualToNowIsNotYetExpired()
{
    auto *r = new TestRequest;
    manager->insert(r, 1);
    fakeNow += 1000;
    expire();
    QCOMPARE(r->error().code(), 0u);
    QVERIFY(d->m_timer.isActive());
    QCOMPARE(d->m_timer.interval(), 0);
}

void tst_RequestManager::autoDelete()
{
    QPointer<TestRequest> deleting = new TestRequest(0, true);
    QPointer<TestRequest> keeping = new TestRequest(0, false);
    manager->insert(deleting, 30);
    manager->insert(keeping, 30);
    deleting->requestFinished(Error());
    keeping->requestFinished(Error());
    QVERIFY(deleting); // receivers of finished() may still use it during the emission's turn
    QCOMPARE(keeping->finishedFlag(), 1);
    QTRY_VERIFY(!deleting);
    QCoreApplication::processEvents();
    QVERIFY(keeping);
    QVERIFY(manager->requests().isEmpty());
    delete keeping.data();

    // A request that was never registered is not marked and not deleted.
    TestRequest unregistered;
    unregistered.requestFinished(Error());
    QCOMPARE(unregistered.finishedFlag(), 0);
}

// At the application's end a call still waiting for its answer is deleted with the registry, not leaked; one that
// does not delete itself, or that has a parent, stays its owner's.
void tst_RequestManager::waitingRequestsGoWithTheManager()
{
    QObject owner;
    QPointer<TestRequest> deleting = new TestRequest(0, true);
    QPointer<TestRequest> keeping = new TestRequest(0, false);
    QPointer<TestRequest> owned = new TestRequest(0, true);
    owned->setParent(&owner);
    manager->insert(deleting, 30);
    manager->insert(keeping, 30);
    manager->insert(owned, 30);

    delete manager;
    manager = nullptr;
    QVERIFY(!deleting);
    QVERIFY(keeping);
    QVERIFY(owned);
    QCOMPARE(keeping->finishedFlag(), 0);
    delete keeping.data();
    manager = new RequestManager;
}

void tst_RequestManager::secondFinishIsIgnored()
{
    auto *other = new TestRequest;
    QPointer<TestRequest> r = new TestRequest(0, true);
    manager->insert(r, 10);
    manager->insert(other, 20);
    r->requestFinished(Error());
    r->requestFinished(Error(Error::NotConnected, QString()));
    QCOMPARE(manager->requests(), QList<Request *> { other });
    QTRY_VERIFY(!r);
}

void tst_RequestManager::dropAndDestroy()
{
    QPointer<TestRequest> dropped = new TestRequest;
    auto *kept = new TestRequest;
    manager->insert(dropped, 10);
    manager->insert(kept, 20);
    QSignalSpy spy(dropped.data(), &Request::finished);
    manager->drop(dropped);
    QVERIFY(!dropped);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(manager->requests(), QList<Request *> { kept });
    QCOMPARE(d->m_timer.interval(), 20000); // re-armed for what is left

    manager->drop(nullptr);
    QCOMPARE(manager->requests(), QList<Request *> { kept });

    delete kept;
    QVERIFY(manager->requests().isEmpty());
    QVERIFY(d->m_deadlines.isEmpty());
    QVERIFY(!d->m_timer.isActive());
}

void tst_RequestManager::registeringTwiceKeepsOneDeadline()
{
    auto *r = new TestRequest;
    manager->insert(r, 30);
    fakeNow += 5000;
    manager->insert(r, 10);
    QCOMPARE(manager->requests(), QList<Request *> { r });
    QCOMPARE(d->m_queue.size(), size_t(1));
    QCOMPARE(d->m_deadlines.value(r), quint64(fakeNow + 10000));

    QSignalSpy spy(r, &Request::finished);
    fakeNow += 10001;
    expire();
    QCOMPARE(spy.count(), 1); // one connection only: finished once
}

void tst_RequestManager::finishHandlerMayRegisterAndDelete()
{
    auto *a = new TestRequest;
    auto *b = new TestRequest;
    auto *late = new TestRequest;
    manager->insert(a, 10);
    manager->insert(b, 10);
    // Expiring b (registered last, so first) deletes a and registers another request.
    connect(b, &Request::finished, this, [&] {
        delete a;
        manager->insert(late, 30);
    });
    fakeNow += 10001;
    expire();
    QCOMPARE(manager->requests(), QList<Request *> { late });
    QCOMPARE(d->m_timer.interval(), 30000);
}

void tst_RequestManager::instanceIsShared()
{
    RequestManager *first = RequestManager::instance();
    QCOMPARE(RequestManager::instance(), first);
    QCOMPARE(first->parent(), QCoreApplication::instance());
}

void tst_RequestManager::monotonicClockAdvances()
{
    const qint64 a = monotonicTime();
    QTest::qWait(5);
    QVERIFY(monotonicTime() >= a + 4);
}

QTEST_GUILESS_MAIN(tst_RequestManager)
#include "tst_requestmanager.moc"
