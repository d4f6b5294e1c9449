#include "unlockthrottle.h"

#include "velmorwire/requestmanager.h"

namespace Velmor {

UnlockThrottle::UnlockThrottle(QObject *parent)
    : QObject(parent)
    , clock(&monotonicTime)
    , m_nextDelay(firstDelay)
    , m_heldUntil(0)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &UnlockThrottle::release);
}

UnlockThrottle::~UnlockThrottle() = default;

void UnlockThrottle::whenAllowed(QObject *context, std::function<void()> attempt)
{
    // Behind those that already wait, so no connection overtakes another.
    if (m_waiting.isEmpty() && !isChecking() && clock() >= m_heldUntil) {
        run(context, attempt);
        return;
    }
    m_waiting.append({ QPointer<QObject>(context), std::move(attempt) });
    connect(context, &QObject::destroyed, this, &UnlockThrottle::contextDestroyed, Qt::UniqueConnection);
    arm();
}

void UnlockThrottle::refused()
{
    m_checking.clear();
    m_heldUntil = clock() + m_nextDelay;
    m_nextDelay = qMin(m_nextDelay * 2, longestDelay);
    arm();
}

void UnlockThrottle::accepted()
{
    m_checking.clear();
    m_nextDelay = firstDelay;
    m_heldUntil = 0;
    arm();
}

void UnlockThrottle::release()
{
    while (!m_waiting.isEmpty() && !isChecking() && clock() >= m_heldUntil) {
        const Waiting next = m_waiting.takeFirst();
        if (next.context)
            run(next.context, next.attempt);
    }
    arm();
}

void UnlockThrottle::contextDestroyed()
{
    // The attempt being checked may be the one gone: the next one must not wait for its answer.
    m_timer.start(0);
}

void UnlockThrottle::run(const QPointer<QObject> &context, const std::function<void()> &attempt)
{
    m_checking = context;
    connect(context, &QObject::destroyed, this, &UnlockThrottle::contextDestroyed, Qt::UniqueConnection);
    attempt();
}

void UnlockThrottle::arm()
{
    if (m_waiting.isEmpty() || isChecking()) {
        m_timer.stop();
        return;
    }
    const qint64 left = m_heldUntil - clock();
    m_timer.start(int(qBound<qint64>(0, left, longestDelay)));
}

} // namespace Velmor
