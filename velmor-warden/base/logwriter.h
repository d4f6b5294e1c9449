#ifndef VELMOR_LOGWRITER_H
#define VELMOR_LOGWRITER_H

#include "platform/eventlog.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace Velmor {

// Writes one source's event-log entries on a thread of its own: no thread that answers DNS, the block page or the
// link ever waits for the log's lock, its file or its trim. The queue is bounded: an entry past it is dropped and
// counted, and the count is written once there is room. A line that peers can cause again and again is written once
// per minute at most: the first time as it is, then as the number of times it came in that minute.
class LogWriter
{
public:
    static constexpr int queueLimit = 1000;
    static constexpr int repeatWindowMs = 60000;
    // Distinct repeatable texts followed per minute; past them, lines are only counted all together.
    static constexpr int repeatableTextLimit = 200;
    // How long the end of the service waits for what is still queued, whoever holds the log's lock meanwhile.
    static constexpr int stopDrainMs = 5000;

    explicit LogWriter(const QString &source);
    // Writes what waits, the counts of repeated lines included, for stopDrainMs at most, then ends the thread.
    ~LogWriter();

    // Callable from any thread; neither waits for the log.
    void post(Platform::EventLog::Type type, const QString &text, int id = 0);
    void postRepeatable(Platform::EventLog::Type type, const QString &text);
    // Waits, at most timeoutMs, until everything posted so far is written.
    bool flush(int timeoutMs);

private:
    Q_DISABLE_COPY(LogWriter)

    struct Entry
    {
        QDateTime time;
        Platform::EventLog::Type type;
        QString text;
        int id;
    };
    struct Repeats
    {
        Platform::EventLog::Type type;
        qint64 count = 0;
    };

    // The following three with m_lock held.
    void enqueue(Platform::EventLog::Type type, const QString &text, int id = 0);
    // Turns the minute's counts into entries; at the end, every text is forgotten.
    void takeRepeatCounts(bool final);
    qint64 now() const;

    void run();

    const QString m_source;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::deque<Entry> m_queue;
    qint64 m_dropped = 0;
    // The repeatable texts written in this minute, with the number of times each came again.
    QHash<QString, Repeats> m_repeats;
    qint64 m_uncountedRepeats = 0;
    qint64 m_minuteEnd = 0;
    quint64 m_posted = 0;
    quint64 m_done = 0;
    bool m_stopping = false;
    std::atomic<qint64> m_drainDeadline { 0 };
    std::thread m_thread;
};

} // namespace Velmor

#endif // VELMOR_LOGWRITER_H
