#include "base/thread.h"

#include "platform/kernelevent.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <atomic>
#include <system_error>

#include <unistd.h>

namespace Platform = Velmor::Platform;

namespace {

// An auto-reset event for the length of a test.
struct Event
{
    Platform::Handle handle = Platform::createEvent(false, false);
    ~Event() { Platform::closeHandle(handle); }
    void set() { Platform::setEvent(handle); }
    bool wait(int timeoutMs = 5000) { return Platform::waitForSingleObject(handle, timeoutMs) == 0; }
};

// Waited for by the threads that must still run when the child run ends; never set.
Platform::Handle childRelease = Platform::InvalidHandle;

void destroyRunningThread()
{
    Velmor::thread running([] { Platform::waitForSingleObject(childRelease, Platform::Infinite); });
}

void assignToRunningThread()
{
    Velmor::thread running([] { Platform::waitForSingleObject(childRelease, Platform::Infinite); });
    Velmor::thread other([] {});
    other.join();
    running = std::move(other);
}

void destroyEndedThread()
{
    Event ended;
    Velmor::thread finished([&ended] { ended.set(); });
    ended.wait();
    while (finished.joinable())
        ::usleep(1000);
}

} // namespace

class tst_Thread : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyFunctionThrows();
    void runsFunctionOnItsOwnThread();
    void joinableRules();
    void moveLeavesRunningFunctionAlone();
    void joinFromOwnThreadThrows();
    void endingTheProcess_data();
    void endingTheProcess();
};

void tst_Thread::emptyFunctionThrows()
{
    try {
        Velmor::thread t { std::function<void()>() };
        QFAIL("no exception");
    } catch (const std::system_error &error) {
        QCOMPARE(error.code().value(), 22);
        QCOMPARE(error.code().category(), std::generic_category());
        QVERIFY(QByteArray(error.what()).contains("Not null function expected"));
    }
}

void tst_Thread::runsFunctionOnItsOwnThread()
{
    std::atomic<quint32> ranOn { 0 };
    Velmor::thread t([&ranOn] { ranOn = Velmor::thread::id(); });
    const quint32 id = t.get_id();
    QVERIFY(id != 0);
    QVERIFY(id != Velmor::thread::id());
    t.join();
    QCOMPARE(ranOn.load(), id);
    QCOMPARE(t.get_id(), quint32(0));
    QVERIFY(!t.joinable());
    QVERIFY(!Velmor::thread().joinable());
    QCOMPARE(Velmor::thread().get_id(), quint32(0));
}

void tst_Thread::joinableRules()
{
    Event release;
    Event answered;
    Velmor::thread *self = nullptr;
    std::atomic<bool> joinableFromInside { true };
    Velmor::thread t([&] {
        release.wait();
        joinableFromInside = self->joinable();
        answered.set();
    });
    self = &t;
    const quint32 id = t.get_id();
    QVERIFY(t.joinable());
    release.set();
    QVERIFY(answered.wait());
    QVERIFY(!joinableFromInside.load());
    // A thread that has ended is no longer joinable, though still attached until joined.
    QTRY_VERIFY(!t.joinable());
    QCOMPARE(t.get_id(), id);
    t.join();
    QCOMPARE(t.get_id(), quint32(0));
}

void tst_Thread::moveLeavesRunningFunctionAlone()
{
    Event release;
    std::atomic<int> ran { 0 };
    Velmor::thread target;
    {
        Velmor::thread source([&] {
            release.wait();
            ++ran;
        });
        const quint32 id = source.get_id();
        target = std::move(source);
        QCOMPARE(target.get_id(), id);
        QCOMPARE(source.get_id(), quint32(0));
        QVERIFY(!source.joinable());
        // The source object goes away while its function still waits.
    }
    QVERIFY(target.joinable());
    release.set();
    target.join();
    QCOMPARE(ran.load(), 1);
}

void tst_Thread::joinFromOwnThreadThrows()
{
    Event release;
    std::atomic<int> code { 0 };
    Velmor::thread *self = nullptr;
    Velmor::thread t([&] {
        release.wait();
        try {
            self->join();
        } catch (const std::system_error &error) {
            code = error.code().value();
        }
    });
    self = &t;
    release.set();
    QTRY_VERIFY(!t.joinable());
    QCOMPARE(code.load(), int(EDEADLK));
    t.join();
}

void tst_Thread::endingTheProcess_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("crashes");
    QTest::newRow("destroying a running thread") << 0 << true;
    QTest::newRow("assigning to a running thread") << 1 << true;
    QTest::newRow("destroying an ended thread") << 2 << false;
}

void tst_Thread::endingTheProcess()
{
    QFETCH(int, action);
    QFETCH(bool, crashes);
    // A fresh process of this program runs the action alone (fork() would copy a process with threads).
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TST_THREAD_ACTION"), QString::number(action));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus() == QProcess::CrashExit, crashes);
    if (!crashes)
        QCOMPARE(child.exitCode(), 0);
}

int main(int argc, char **argv)
{
    const QByteArray action = qgetenv("TST_THREAD_ACTION");
    if (!action.isEmpty()) {
        static void (*const actions[])() = { &destroyRunningThread, &assignToRunningThread, &destroyEndedThread };
        childRelease = Platform::createEvent(true, false);
        actions[action.toInt()]();
        return 0;
    }
    QCoreApplication app(argc, argv);
    tst_Thread test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_thread.moc"
