#include "networktest.h"

#include "network/backend.h"
#include "network/networkconfigurationwatcher.h"

#include "platform/iphelper.h"
#include "platform/kernelevent.h"
#include "platform/winerror.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <mutex>

using namespace NetworkTest;
using Velmor::NetworkConfigurationWatcher;
namespace Platform = Velmor::Platform;

namespace {

// Replaces machine.json and returns once the stand-in has seen the change: a request of its own has fired. Any
// request open during the change was set by then too.
void changeAndWitness(Machine &machine, int count)
{
    Platform::IpHelper::Overlapped probe;
    probe.event = Platform::createEvent(false, false);
    Platform::Handle handle = Platform::InvalidHandle;
    QCOMPARE(Platform::IpHelper::notifyAddrChange(&handle, &probe), quint32(Platform::ErrorIoPending));
    machine.writeMachine(ethernetAdapters(count));
    QCOMPARE(Platform::waitForSingleObject(probe.event, 10000), 0);
    Platform::closeHandle(probe.event);
}

struct Calls
{
    std::mutex lock;
    QStringList names;
    QList<Qt::HANDLE> threads;

    std::function<void()> recorder(const QString &name)
    {
        return [this, name] {
            std::lock_guard<std::mutex> guard(lock);
            names.append(name);
            threads.append(QThread::currentThreadId());
        };
    }
    int size()
    {
        std::lock_guard<std::mutex> guard(lock);
        return int(names.size());
    }
};

} // namespace

// Address changes reach the backend on the main thread, once per change, and not at all while it is stopped.
class tst_NetworkConfigurationWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onePerReplacedFileOnTheMainThread();
    void noneAfterStop();
    void listenersRunInOrderOnTheWorker();
    void cancelWhileNotArmedDoesNothing();
    void removedListenerIsNotCalled();
};

void tst_NetworkConfigurationWatcher::onePerReplacedFileOnTheMainThread()
{
    Machine machine;
    machine.writeMachine(ethernetAdapters(1));
    ScriptedServer server;
    auto *backend = new Velmor::Backend(&server);
    QList<QThread *> threads;
    connect(
        backend, &Velmor::Backend::configurationChanged, this, [&threads] { threads.append(QThread::currentThread()); },
        Qt::DirectConnection);
    QVERIFY(backend->start());

    for (int change = 1; change <= 3; ++change) {
        machine.writeMachine(ethernetAdapters(change + 1));
        QTRY_COMPARE(threads.size(), change);
        QCOMPARE(threads.last(), QThread::currentThread());
        // The list was rebuilt before the signal.
        QCOMPARE(backend->networks().size(), change + 1);
    }
    changeAndWitness(machine, 5);
    QTRY_COMPARE(threads.size(), 4);
    backend->stop();
}

void tst_NetworkConfigurationWatcher::noneAfterStop()
{
    Machine machine;
    machine.writeMachine(ethernetAdapters(1));
    ScriptedServer server;
    auto *backend = new Velmor::Backend(&server);
    QSignalSpy changed(backend, &Velmor::Backend::configurationChanged);
    QVERIFY(backend->start());
    machine.writeMachine(ethernetAdapters(2));
    QTRY_COMPARE(changed.size(), 1);

    QVERIFY(backend->stop());
    changeAndWitness(machine, 3);
    QCoreApplication::processEvents();
    QCOMPARE(changed.size(), 1);

    // Started again, the next change is heard, and only that one.
    QVERIFY(backend->start());
    machine.writeMachine(ethernetAdapters(4));
    QTRY_COMPARE(changed.size(), 2);
    QCOMPARE(backend->networks().size(), 4);
    backend->stop();
}

void tst_NetworkConfigurationWatcher::listenersRunInOrderOnTheWorker()
{
    Machine machine;
    machine.writeMachine(ethernetAdapters(1));
    NetworkConfigurationWatcher *watcher = NetworkConfigurationWatcher::instance();
    Calls calls;
    const int first = watcher->addListener(calls.recorder(QStringLiteral("first")));
    const int second = watcher->addListener(calls.recorder(QStringLiteral("second")));
    watcher->arm();
    watcher->arm();

    machine.writeMachine(ethernetAdapters(2));
    QTRY_COMPARE(calls.size(), 2);
    // The watcher opened the next request by itself.
    machine.writeMachine(ethernetAdapters(3));
    QTRY_COMPARE(calls.size(), 4);
    watcher->cancel();
    watcher->removeListener(first);
    watcher->removeListener(second);

    std::lock_guard<std::mutex> guard(calls.lock);
    QCOMPARE(calls.names,
        (QStringList {
            QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("first"), QStringLiteral("second") }));
    for (Qt::HANDLE thread : std::as_const(calls.threads))
        QVERIFY(thread != QThread::currentThreadId());
}

void tst_NetworkConfigurationWatcher::cancelWhileNotArmedDoesNothing()
{
    Machine machine;
    machine.writeMachine(ethernetAdapters(1));
    NetworkConfigurationWatcher *watcher = NetworkConfigurationWatcher::instance();
    Calls calls;
    const int id = watcher->addListener(calls.recorder(QStringLiteral("listener")));
    watcher->cancel();
    watcher->cancel();
    changeAndWitness(machine, 2);
    watcher->arm();
    machine.writeMachine(ethernetAdapters(3));
    QTRY_COMPARE(calls.size(), 1);
    watcher->cancel();
    changeAndWitness(machine, 4);
    watcher->removeListener(id);
    QCOMPARE(calls.size(), 1);
}

void tst_NetworkConfigurationWatcher::removedListenerIsNotCalled()
{
    Machine machine;
    machine.writeMachine(ethernetAdapters(1));
    NetworkConfigurationWatcher *watcher = NetworkConfigurationWatcher::instance();
    Calls removed;
    Calls kept;
    const int gone = watcher->addListener(removed.recorder(QStringLiteral("removed")));
    const int stays = watcher->addListener(kept.recorder(QStringLiteral("kept")));
    watcher->removeListener(gone);
    watcher->arm();
    machine.writeMachine(ethernetAdapters(2));
    QTRY_COMPARE(kept.size(), 1);
    watcher->cancel();
    watcher->removeListener(stays);
    QCOMPARE(removed.size(), 0);
}

QTEST_GUILESS_MAIN(tst_NetworkConfigurationWatcher)
#include "tst_networkconfigurationwatcher.moc"
