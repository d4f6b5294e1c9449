#include "logwriter.h"

#include <chrono>

namespace Velmor {

using Platform::EventLog::Type;

LogWriter::LogWriter(const QString &source)
    : m_source(source)
    , m_thread([this] { run(); })
{ }

LogWriter::~LogWriter()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
        m_drainDeadline = now() + stopDrainMs;
    }
    m_wake.notify_one();
    m_thread.join();
}

qint64 LogWriter::now() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void LogWriter::enqueue(Type type, const QString &text, int id)
{
    if (m_queue.size() >= size_t(queueLimit)) {
        ++m_dropped;
        return;
    }
    m_queue.push_back({ QDateTime::currentDateTimeUtc(), type, text, id });
    ++m_posted;
    m_wake.notify_one();
}

void LogWriter::post(Type type, const QString &text, int id)
{
    std::lock_guard<std::mutex> guard(m_lock);
    enqueue(type, text, id);
}

void LogWriter::postRepeatable(Type type, const QString &text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto seen = m_repeats.find(text);
    if (seen != m_repeats.end()) {
        ++seen->count;
        return;
    }
    // Texts that carry what a peer sent can all differ: their number is bounded too.
    if (m_repeats.size() >= repeatableTextLimit) {
        ++m_uncountedRepeats;
        return;
    }
    m_repeats.insert(text, { type, 0 });
    if (m_minuteEnd == 0)
        m_minuteEnd = now() + repeatWindowMs;
    enqueue(type, text);
}

void LogWriter::takeRepeatCounts(bool final)
{
    for (auto it = m_repeats.begin(); it != m_repeats.end();) {
        const bool repeated = it->count > 0;
        if (repeated) {
            enqueue(
                it->type, QStringLiteral("Repeated %1 more times in the last minute: %2").arg(it->count).arg(it.key()));
            it->count = 0;
        }
        // A text that did not come again is written whole the next time.
        if (final || !repeated)
            it = m_repeats.erase(it);
        else
            ++it;
    }
    if (m_uncountedRepeats > 0) {
        enqueue(Platform::EventLog::Warning,
            QStringLiteral("%1 more lines came in the last minute, of more kinds than are counted one by one")
                .arg(m_uncountedRepeats));
        m_uncountedRepeats = 0;
    }
    m_minuteEnd = m_repeats.isEmpty() ? 0 : now() + repeatWindowMs;
}

bool LogWriter::flush(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    const quint64 target = m_posted;
    return m_written.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this, target] { return m_done >= target; });
}

void LogWriter::run()
{
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        if ((m_minuteEnd != 0 && now() >= m_minuteEnd) || (m_stopping && (!m_repeats.isEmpty() || m_uncountedRepeats)))
            takeRepeatCounts(m_stopping);
        if (!m_queue.empty() || m_dropped > 0) {
            std::deque<Entry> batch;
            batch.swap(m_queue);
            qint64 dropped = m_dropped;
            m_dropped = 0;
            guard.unlock();
            for (const Entry &entry : batch) {
                const qint64 deadline = m_drainDeadline;
                if (deadline != 0 && now() > deadline)
                    ++dropped;
                else
                    Platform::EventLog::report(m_source, entry.type, entry.id, entry.text, entry.time);
            }
            if (dropped > 0) {
                Platform::EventLog::report(m_source, Platform::EventLog::Warning, 0,
                    QStringLiteral("%1 log entries were dropped: the log could not keep up").arg(dropped));
            }
            guard.lock();
            m_done += batch.size();
            m_written.notify_all();
            continue;
        }
        if (m_stopping)
            return;
        if (m_minuteEnd != 0)
            m_wake.wait_for(guard, std::chrono::milliseconds(qMax<qint64>(1, m_minuteEnd - now())));
        else
            m_wake.wait(guard);
    }
}

} // namespace Velmor
