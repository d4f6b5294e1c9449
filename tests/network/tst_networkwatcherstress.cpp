#include "networktest.h"

#include "network/networkconfigurationwatcher.h"

#include "platform/iphelper.h"
#include "platform/kernelevent.h"
#include "platform/root.h"
#include "platform/winerror.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace NetworkTest;
using Velmor::NetworkConfigurationWatcher;
namespace Platform = Velmor::Platform;

// Arming and cancelling on the main thread while machine.json keeps changing, so the watcher's re-arm on the event
// waiter's thread, the stand-in's inotify thread and requests of other threads all meet. Meant for the
// ThreadSanitizer run as much as for the ordinary one.
class tst_NetworkWatcherStress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void armCancelChange();
};

void tst_NetworkWatcherStress::armCancelChange()
{
    Machine machine;
    machine.writeMachine({ Adapter { adapterId(1), QStringLiteral("Ethernet"), 6, {} } });
    const QString file = machine.path(QStringLiteral("machine.json"));
    NetworkConfigurationWatcher *watcher = NetworkConfigurationWatcher::instance();
    std::atomic<int> calls { 0 };
    const int listener = watcher->addListener([&calls] { ++calls; });

    // Changes are heard at all before the storm.
    watcher->arm();
    machine.writeMachine({});
    QTRY_VERIFY(calls.load() >= 1);

    std::atomic<bool> stop { false };
    std::atomic<int> writes { 0 };
    std::unique_ptr<QThread> writer(QThread::create([&] {
        for (int i = 0; !stop.load(); ++i) {
            Platform::writeFileAtomically(
                file, QByteArray("{\"adapters\":[],\"routes\":[]}\n").repeated(1 + i % 3), 0644);
            ++writes;
        }
    }));
    // Another client of the stand-in opening and withdrawing requests of its own.
    std::atomic<int> otherFired { 0 };
    std::unique_ptr<QThread> other(QThread::create([&] {
        Platform::IpHelper::Overlapped overlapped;
        overlapped.event = Platform::createEvent(false, false);
        Platform::Handle handle = Platform::InvalidHandle;
        while (!stop.load()) {
            Platform::IpHelper::notifyAddrChange(&handle, &overlapped);
            if (Platform::waitForSingleObject(overlapped.event, 1) == 0)
                ++otherFired;
            else
                Platform::IpHelper::cancelIPChangeNotify(&overlapped);
        }
        Platform::IpHelper::cancelIPChangeNotify(&overlapped);
        Platform::closeHandle(overlapped.event);
    }));
    writer->start();
    other->start();

    QRandomGenerator random(20240611);
    const int before = calls.load();
    // Bounded by work done, with a time limit for a slow machine.
    QElapsedTimer elapsed;
    elapsed.start();
    int rounds = 0;
    while ((rounds < 2000 || writes.load() < 300 || calls.load() - before < 30) && elapsed.elapsed() < 10000) {
        ++rounds;
        watcher->arm();
        if (random.bounded(3) == 0)
            watcher->arm();
        // Armed for a while now and then, so changes fire and the worker re-arms while cancels come in.
        for (int spin = random.bounded(50); spin > 0; --spin)
            QThread::yieldCurrentThread();
        watcher->cancel();
        if (random.bounded(4) == 0)
            watcher->cancel();
    }
    // A last stretch armed, so the storm is heard at least once more.
    watcher->arm();
    const int armedAt = calls.load();
    QTRY_VERIFY(calls.load() > armedAt);
    watcher->cancel();
    const int afterCancel = calls.load();

    stop = true;
    QVERIFY(writer->wait(30000));
    QVERIFY(other->wait(30000));
    QVERIFY(writes.load() > 0);

    // Cancelled means cancelled: a change the stand-in has certainly seen reaches no listener, not even through
    // a re-arm that was under way at the cancel.
    Platform::IpHelper::Overlapped probe;
    probe.event = Platform::createEvent(false, false);
    Platform::Handle handle = Platform::InvalidHandle;
    QCOMPARE(Platform::IpHelper::notifyAddrChange(&handle, &probe), quint32(Platform::ErrorIoPending));
    machine.writeMachine({ Adapter { adapterId(2), QStringLiteral("Ethernet 2"), 6, {} } });
    QCOMPARE(Platform::waitForSingleObject(probe.event, 10000), 0);
    Platform::closeHandle(probe.event);
    QCOMPARE(calls.load(), afterCancel);
    watcher->removeListener(listener);
    qDebug("%d rounds, %d listener calls, %d writes, %d requests of the other client fired", rounds,
        afterCancel - before, writes.load(), otherFired.load());
}

QTEST_GUILESS_MAIN(tst_NetworkWatcherStress)
#include "tst_networkwatcherstress.moc"
