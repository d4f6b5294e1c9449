#include "base/logger.h"
#include "base/thread.h"

#include <QTemporaryFile>
#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include <unistd.h>

using Velmor::Logger;

namespace {

struct Record
{
    Logger::MsgType type;
    QByteArray text;
};

class RecordingLogger : public Logger
{
public:
    explicit RecordingLogger(bool *destroyed = nullptr)
        : m_destroyed(destroyed)
    { }
    ~RecordingLogger() override
    {
        if (m_destroyed)
            *m_destroyed = true;
    }
    void writeString(MsgType type, const char *text) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_records.push_back({ type, QByteArray(text) });
    }
    std::vector<Record> records()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_records;
    }

private:
    bool *m_destroyed;
    std::mutex m_lock;
    std::vector<Record> m_records;
};

class CountingLogger : public Logger
{
public:
    explicit CountingLogger(std::atomic<int> &total)
        : m_total(total)
    { }
    void writeString(MsgType, const char *) override { ++m_total; }

private:
    std::atomic<int> &m_total;
};

// Uninstalls the logger when the test function ends, early return included: a logger that points at the test's
// locals must go before they do, not in cleanup().
struct UninstallAtExit
{
    UninstallAtExit() = default;
    UninstallAtExit(const UninstallAtExit &) = delete;
    UninstallAtExit &operator=(const UninstallAtExit &) = delete;
    ~UninstallAtExit() { Logger::setLogger(nullptr); }
};

} // namespace

class tst_Logger : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { Logger::setLogger(nullptr); }

    void nothingIsWrittenWithoutLogger();
    void formatsAndPassesLevel();
    void cutsLongText();
    void settingSameLoggerKeepsIt();
    void settingAnotherDeletesPrevious();
    void destroyingInstalledLoggerUninstallsIt();
    void writesFromSeveralThreads();
    void baseLoggerWritesToStandardError();
};

void tst_Logger::nothingIsWrittenWithoutLogger()
{
    QVERIFY(!Logger::instance());
    Logger::write(Logger::WarningMsg, "lost %d", 1);
    auto *logger = new RecordingLogger;
    Logger::setLogger(logger);
    Logger::write(Logger::WarningMsg, "kept %d", 2);
    QCOMPARE(logger->records().size(), size_t(1));
    QCOMPARE(logger->records().front().text, QByteArray("kept 2"));
}

void tst_Logger::formatsAndPassesLevel()
{
    auto *logger = new RecordingLogger;
    Logger::setLogger(logger);
    QCOMPARE(Logger::instance(), logger);
    Logger::write(Logger::CriticalMsg, "%s failed: %d (%#x)\n", "GetAdaptersInfo", 111, 0x6f);
    Logger::write(Logger::DebugMsg, "plain");
    const std::vector<Record> records = logger->records();
    QCOMPARE(records.size(), size_t(2));
    QCOMPARE(records.at(0).type, Logger::CriticalMsg);
    QCOMPARE(records.at(0).text, QByteArray("GetAdaptersInfo failed: 111 (0x6f)\n"));
    QCOMPARE(records.at(1).type, Logger::DebugMsg);
    QCOMPARE(records.at(1).text, QByteArray("plain"));
}

void tst_Logger::cutsLongText()
{
    auto *logger = new RecordingLogger;
    Logger::setLogger(logger);
    const QByteArray longText = QByteArray(600, 'a') + QByteArray(600, 'b');
    Logger::write(Logger::WarningMsg, "%s", longText.constData());
    const QByteArray fits(Logger::BufferSize - 1, 'x');
    Logger::write(Logger::WarningMsg, "%s", fits.constData());
    QCOMPARE(logger->records().at(0).text, longText.left(Logger::BufferSize - 1));
    QCOMPARE(logger->records().at(1).text, fits);
}

void tst_Logger::settingSameLoggerKeepsIt()
{
    bool destroyed = false;
    {
        const UninstallAtExit uninstall;
        auto *logger = new RecordingLogger(&destroyed);
        Logger::setLogger(logger);
        Logger::setLogger(logger);
        QVERIFY(!destroyed);
        QCOMPARE(Logger::instance(), logger);
        Logger::write(Logger::WarningMsg, "still here");
        QCOMPARE(logger->records().size(), size_t(1));
    }
    QVERIFY(destroyed);
}

void tst_Logger::settingAnotherDeletesPrevious()
{
    bool firstDestroyed = false;
    bool secondDestroyed = false;
    const UninstallAtExit uninstall;
    Logger::setLogger(new RecordingLogger(&firstDestroyed));
    auto *second = new RecordingLogger(&secondDestroyed);
    Logger::setLogger(second);
    QVERIFY(firstDestroyed);
    QVERIFY(!secondDestroyed);
    QCOMPARE(Logger::instance(), second);
    Logger::setLogger(nullptr);
    QVERIFY(secondDestroyed);
    QVERIFY(!Logger::instance());
}

void tst_Logger::destroyingInstalledLoggerUninstallsIt()
{
    auto *logger = new RecordingLogger;
    Logger::setLogger(logger);
    delete logger;
    QVERIFY(!Logger::instance());
    Logger::write(Logger::WarningMsg, "nobody listens");
}

void tst_Logger::writesFromSeveralThreads()
{
    std::atomic<int> total { 0 };
    const UninstallAtExit uninstall;
    Logger::setLogger(new CountingLogger(total));
    std::vector<std::unique_ptr<Velmor::thread>> threads;
    for (int t = 0; t < 4; ++t) {
        threads.push_back(std::make_unique<Velmor::thread>([t] {
            for (int i = 0; i < 100; ++i)
                Logger::write(Logger::DebugMsg, "thread %d line %d", t, i);
        }));
    }
    // Replacing the logger while the threads write must not pull it from under a writer.
    Logger::setLogger(new CountingLogger(total));
    for (auto &thread : threads)
        thread->join();
    QCOMPARE(total.load(), 400);
}

void tst_Logger::baseLoggerWritesToStandardError()
{
    QTemporaryFile capture;
    QVERIFY(capture.open());
    fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    Logger::setLogger(new Logger);
    Logger::write(Logger::WarningMsg, "first %s", "text");
    Logger::write(Logger::WarningMsg, "second");
    fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    capture.seek(0);
    QCOMPARE(capture.readAll(), QByteArray("first textsecond"));
}

QTEST_GUILESS_MAIN(tst_Logger)
#include "tst_logger.moc"
