#include "base/eventwaiter.h"
#include "base/thread.h"

#include "testevents.h"

#include "platform/kernelevent.h"

#include <QTest>

#include <atomic>
#include <memory>
#include <vector>

using Velmor::EventWaiter;
namespace Platform = Velmor::Platform;

namespace {

std::function<void()> counting(std::atomic<int> &counter)
{
    return [&counter] { ++counter; };
}

} // namespace

class tst_EventWaiter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void instanceIsProcessWide();
    void callbackRunsOnWorkerThread();
    void servesRepeatedSignals();
    void registeringAgainReplacesFunction();
    void removedHandleIsNotServed();
    void servesUpToTheWaitLimit();
    void recoversAfterFailedWait();
    void callbackCannotReregister();
    void registrationChangesWhileServing();
};

void tst_EventWaiter::instanceIsProcessWide()
{
    QVERIFY(EventWaiter::instance());
    QCOMPARE(EventWaiter::instance(), EventWaiter::instance());
}

void tst_EventWaiter::callbackRunsOnWorkerThread()
{
    TestEvents events;
    const Platform::Handle event = events.add();
    std::atomic<quint32> ranOn { 0 };
    EventWaiter waiter;
    QVERIFY(waiter.addEvent(event, [&ranOn] { ranOn = Velmor::thread::id(); }));
    Platform::setEvent(event);
    QTRY_VERIFY(ranOn.load() != 0);
    QVERIFY(ranOn.load() != Velmor::thread::id());
}

void tst_EventWaiter::servesRepeatedSignals()
{
    TestEvents events;
    const Platform::Handle first = events.add();
    const Platform::Handle second = events.add();
    std::atomic<int> firstCount { 0 };
    std::atomic<int> secondCount { 0 };
    EventWaiter waiter;
    QVERIFY(waiter.addEvent(first, counting(firstCount)));
    QVERIFY(waiter.addEvent(second, counting(secondCount)));
    for (int i = 1; i <= 3; ++i) {
        Platform::setEvent(first);
        QTRY_COMPARE(firstCount.load(), i);
    }
    Platform::setEvent(second);
    QTRY_COMPARE(secondCount.load(), 1);
    QCOMPARE(firstCount.load(), 3);
}

void tst_EventWaiter::registeringAgainReplacesFunction()
{
    TestEvents events;
    const Platform::Handle event = events.add();
    std::atomic<int> before { 0 };
    std::atomic<int> after { 0 };
    EventWaiter waiter;
    QVERIFY(waiter.addEvent(event, counting(before)));
    QVERIFY(waiter.addEvent(event, counting(after)));
    Platform::setEvent(event);
    QTRY_COMPARE(after.load(), 1);
    QCOMPARE(before.load(), 0);
}

void tst_EventWaiter::removedHandleIsNotServed()
{
    TestEvents events;
    const Platform::Handle removed = events.add();
    const Platform::Handle kept = events.add();
    std::atomic<int> removedCount { 0 };
    std::atomic<int> keptCount { 0 };
    EventWaiter waiter;
    QVERIFY(waiter.addEvent(removed, counting(removedCount)));
    QVERIFY(waiter.addEvent(kept, counting(keptCount)));
    QVERIFY(waiter.removeEvent(removed));
    QVERIFY(waiter.removeEvent(events.add())); // never registered: still a restart, nothing lost
    Platform::setEvent(removed);
    // Two rounds of the worker after the signal: a waited-for handle would have been taken by now.
    Platform::setEvent(kept);
    QTRY_COMPARE(keptCount.load(), 1);
    Platform::setEvent(kept);
    QTRY_COMPARE(keptCount.load(), 2);
    QCOMPARE(removedCount.load(), 0);
    QCOMPARE(Platform::waitForSingleObject(removed, 0), 0);
}

void tst_EventWaiter::servesUpToTheWaitLimit()
{
    TestEvents events;
    std::vector<std::unique_ptr<std::atomic<int>>> counts;
    EventWaiter waiter;
    for (int i = 0; i < EventWaiter::MaximumEvents; ++i) {
        counts.push_back(std::make_unique<std::atomic<int>>(0));
        QVERIFY(waiter.addEvent(events.add(), counting(*counts.back())));
    }
    QCOMPARE(EventWaiter::MaximumEvents, 63);

    // With the wake event this fills the wait; one more would make every wait fail, so it is refused.
    std::atomic<int> refusedCount { 0 };
    const Platform::Handle refused = events.add();
    QVERIFY(!waiter.addEvent(refused, counting(refusedCount)));

    std::atomic<int> replacedCount { 0 };
    QVERIFY(waiter.addEvent(events.handles.front(), counting(replacedCount)));

    for (int i = 0; i <= EventWaiter::MaximumEvents; ++i)
        Platform::setEvent(events.handles.at(size_t(i)));
    QTRY_COMPARE(replacedCount.load(), 1);
    for (int i = 1; i < EventWaiter::MaximumEvents; ++i)
        QTRY_COMPARE(counts.at(size_t(i))->load(), 1);
    QCOMPARE(counts.front()->load(), 0);
    QCOMPARE(refusedCount.load(), 0);

    // Room again after a removal.
    QVERIFY(waiter.removeEvent(events.handles.at(1)));
    QVERIFY(waiter.addEvent(refused, counting(refusedCount)));
    QTRY_COMPARE(refusedCount.load(), 1); // its signal from above was kept
}

void tst_EventWaiter::recoversAfterFailedWait()
{
    TestEvents events;
    const Platform::Handle event = events.add();
    std::atomic<int> count { 0 };
    EventWaiter waiter;
    QVERIFY(waiter.addEvent(event, counting(count)));

    // The wait fails at once on a handle that is not open, and the worker ends.
    const Platform::Handle closed = unopenedHandle();
    QVERIFY(waiter.addEvent(closed, [] {}));
    QVERIFY(waiter.removeEvent(closed));

    Platform::setEvent(event);
    QTRY_COMPARE(count.load(), 1);
    Platform::setEvent(event);
    QTRY_COMPARE(count.load(), 2);
}

void tst_EventWaiter::callbackCannotReregister()
{
    TestEvents events;
    const Platform::Handle event = events.add();
    const Platform::Handle other = events.add();
    std::atomic<int> answers { 0 };
    std::atomic<bool> added { true };
    std::atomic<bool> removed { true };
    EventWaiter waiter;
    QVERIFY(waiter.addEvent(event, [&] {
        added = waiter.addEvent(other, [] {});
        removed = waiter.removeEvent(event);
        ++answers;
    }));
    Platform::setEvent(event);
    QTRY_COMPARE(answers.load(), 1);
    QVERIFY(!added.load());
    QVERIFY(!removed.load());
    // The worker goes on serving the registration it had.
    Platform::setEvent(event);
    QTRY_COMPARE(answers.load(), 2);
}

void tst_EventWaiter::registrationChangesWhileServing()
{
    TestEvents events;
    const Platform::Handle busy = events.add();
    std::atomic<int> servedFirst { 0 };
    std::atomic<int> servedSecond { 0 };
    std::atomic<bool> stop { false };
    EventWaiter waiter;
    QVERIFY(waiter.addEvent(busy, counting(servedFirst)));
    Velmor::thread signaller([&] {
        while (!stop)
            Platform::setEvent(busy);
    });
    // The function is replaced while the worker may be copying it.
    for (int i = 0; i < 50; ++i)
        QVERIFY(waiter.addEvent(busy, counting(i % 2 ? servedFirst : servedSecond)));
    stop = true;
    signaller.join();
    const int before = servedFirst.load();
    QVERIFY(before + servedSecond.load() > 0);
    Platform::setEvent(busy);
    QTRY_VERIFY(servedFirst.load() > before);
}

QTEST_GUILESS_MAIN(tst_EventWaiter)
#include "tst_eventwaiter.moc"
