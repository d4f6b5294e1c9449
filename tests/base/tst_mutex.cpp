#include "base/mutex.h"
#include "base/thread.h"

#include <QTest>

#include <mutex>
#include <vector>

class tst_Mutex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ownerMayLockAgain();
    void excludesOtherThreads();
};

void tst_Mutex::ownerMayLockAgain()
{
    const Velmor::mutex lock;
    lock.lock();
    lock.lock();
    lock.unlock();
    bool reached = false;
    // Still held once: another thread has to wait until the last unlock.
    Velmor::thread other([&] {
        std::lock_guard<const Velmor::mutex> guard(lock);
        reached = true;
    });
    QTest::qWait(20);
    lock.lock();
    QVERIFY(!reached);
    lock.unlock();
    lock.unlock();
    other.join();
    QVERIFY(reached);
}

void tst_Mutex::excludesOtherThreads()
{
    const Velmor::mutex lock;
    int counter = 0;
    std::vector<std::unique_ptr<Velmor::thread>> threads;
    for (int i = 0; i < 4; ++i) {
        threads.push_back(std::make_unique<Velmor::thread>([&] {
            for (int n = 0; n < 10000; ++n) {
                std::lock_guard<const Velmor::mutex> guard(lock);
                ++counter;
            }
        }));
    }
    for (auto &thread : threads)
        thread->join();
    QCOMPARE(counter, 40000);
}

QTEST_GUILESS_MAIN(tst_Mutex)
#include "tst_mutex.moc"
