#include "testevents.h"

#include "platform/kernelevent.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace Velmor::Platform;

namespace {

bool isSignalled(Handle event)
{
    return waitForSingleObject(event, 0) == 0;
}

} // namespace

class tst_KernelEvent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void autoResetReleasesOneWait();
    void manualResetStaysSignalled();
    void initialState();
    void waitReturnsLowestSignalledIndex();
    void failedWaits_data();
    void failedWaits();
    void acceptsTheWindowsLimit();
    void timesOut();
    void wakesWaitingThread();
    void oneSetReleasesOneOfTwoWaiters();
};

void tst_KernelEvent::autoResetReleasesOneWait()
{
    TestEvents events;
    const Handle event = events.add(false);
    QVERIFY(event != InvalidHandle);
    QVERIFY(!isSignalled(event));
    QVERIFY(setEvent(event));
    QVERIFY(setEvent(event)); // a second set of a set event changes nothing
    QVERIFY(isSignalled(event));
    QCOMPARE(waitForSingleObject(event, 0), WaitTimeout);
}

void tst_KernelEvent::manualResetStaysSignalled()
{
    TestEvents events;
    const Handle event = events.add(true);
    QVERIFY(setEvent(event));
    QVERIFY(isSignalled(event));
    QVERIFY(isSignalled(event));
    QVERIFY(resetEvent(event));
    QVERIFY(!isSignalled(event));
    QVERIFY(resetEvent(event)); // resetting an unsignalled event succeeds
}

void tst_KernelEvent::initialState()
{
    TestEvents events;
    QVERIFY(isSignalled(events.add(true, true)));
    QVERIFY(isSignalled(events.add(false, true)));
    QVERIFY(!isSignalled(events.add(false, false)));
}

void tst_KernelEvent::waitReturnsLowestSignalledIndex()
{
    TestEvents events;
    const Handle handles[] = { events.add(false), events.add(false), events.add(true), events.add(false) };
    setEvent(handles[3]);
    setEvent(handles[1]);
    setEvent(handles[2]);
    QCOMPARE(waitForMultipleObjects(handles, 4, 0), 1);
    // Only the returned auto-reset event was reset; the manual-reset one stays signalled.
    QCOMPARE(waitForMultipleObjects(handles, 4, 0), 2);
    QCOMPARE(waitForMultipleObjects(handles, 4, 0), 2);
    resetEvent(handles[2]);
    QCOMPARE(waitForMultipleObjects(handles, 4, 0), 3);
    QCOMPARE(waitForMultipleObjects(handles, 4, 0), WaitTimeout);
}

void tst_KernelEvent::failedWaits_data()
{
    QTest::addColumn<int>("bad");
    QTest::addColumn<int>("count");
    QTest::newRow("no handles") << 0 << 0;
    QTest::newRow("more than 64 handles") << 0 << 65;
    QTest::newRow("negative handle") << -1 << 2;
    QTest::newRow("handle not open") << 1 << 2;
}

void tst_KernelEvent::failedWaits()
{
    QFETCH(int, bad);
    QFETCH(int, count);
    TestEvents events;
    std::vector<Handle> handles;
    const Handle signalled = events.add(false, true);
    handles.push_back(signalled);
    while (int(handles.size()) < qMax(count, 1))
        handles.push_back(events.add(false));
    if (bad == -1)
        handles[1] = InvalidHandle;
    else if (bad == 1)
        handles[1] = unopenedHandle();
    QCOMPARE(waitForMultipleObjects(handles.data(), count, Infinite), WaitFailed);
    // A failed wait takes no signal.
    QVERIFY(isSignalled(signalled));
}

void tst_KernelEvent::acceptsTheWindowsLimit()
{
    TestEvents events;
    std::vector<Handle> handles;
    for (int i = 0; i < MaximumWaitObjects; ++i)
        handles.push_back(events.add(false));
    setEvent(handles.back());
    QCOMPARE(waitForMultipleObjects(handles.data(), MaximumWaitObjects, 0), MaximumWaitObjects - 1);
}

void tst_KernelEvent::timesOut()
{
    TestEvents events;
    const Handle event = events.add(false);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(waitForSingleObject(event, 50), WaitTimeout);
    QVERIFY(timer.elapsed() >= 50);
}

void tst_KernelEvent::wakesWaitingThread()
{
    TestEvents events;
    const Handle event = events.add(false);
    std::atomic<int> result { -10 };
    std::thread waiter([&] { result = waitForSingleObject(event, Infinite); });
    setEvent(event);
    waiter.join();
    QCOMPARE(result.load(), 0);
    QVERIFY(!isSignalled(event));
}

void tst_KernelEvent::oneSetReleasesOneOfTwoWaiters()
{
    TestEvents events;
    const Handle event = events.add(false);
    const Handle go = events.add(true);
    std::atomic<int> released { 0 };
    auto wait = [&] {
        waitForSingleObject(go, Infinite);
        if (waitForSingleObject(event, Infinite) == 0)
            ++released;
    };
    std::thread first(wait);
    std::thread second(wait);
    setEvent(go);
    setEvent(event);
    QTRY_COMPARE(released.load(), 1);
    QTest::qWait(20);
    QCOMPARE(released.load(), 1);
    setEvent(event);
    first.join();
    second.join();
    QCOMPARE(released.load(), 2);
}

QTEST_GUILESS_MAIN(tst_KernelEvent)
#include "tst_kernelevent.moc"
