#include "requestmanager.h"
#include "requestmanager_p.h"

#include "request.h"

#include <QCoreApplication>

#include <time.h>

namespace Velmor {

qint64 monotonicTime()
{
    // The system clock may jump; deadlines must not move with it.
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

RequestManager *RequestManager::_instance = nullptr;

RequestManager *RequestManager::instance()
{
    if (!_instance)
        _instance = new RequestManager(QCoreApplication::instance());
    return _instance;
}

RequestManager::RequestManager(QObject *parent)
    : QObject(parent)
    , d(new RequestManagerPrivate(this))
{ }

RequestManager::~RequestManager()
{
    if (_instance == this)
        _instance = nullptr;
    // A request that deletes itself when it finishes has no other owner than this registry: one still waiting when
    // the registry goes (the application's end) goes with it. One that has a parent is its parent's to delete.
    const QList<Request *> waiting = requests();
    for (Request *request : waiting) {
        d->forget(request);
        disconnect(request, nullptr, d, nullptr);
        if (request->m_autoDelete && !request->parent())
            delete request;
    }
}

void RequestManager::insert(Request *request, quint16 defaultTimeout)
{
    if (!request)
        return;
    const quint16 seconds = request->timeout() != 0 ? request->timeout() : defaultTimeout;
    const quint32 ms = quint32(seconds) * 1000;
    const quint64 now = quint64(d->clock());
    const quint64 deadline = now + ms;

    // A request registered twice keeps only its newest deadline.
    if (d->forget(request)) {
        disconnect(request, nullptr, d, nullptr);
    }
    const bool earliest = d->m_queue.empty() || deadline < d->m_queue.begin()->first;
    d->m_deadlines.insert(request, deadline);
    d->m_queue.emplace_hint(d->m_queue.lower_bound(deadline), deadline, request);

    connect(request, &Request::finished, d, &RequestManagerPrivate::request_finished);
    connect(request, &QObject::destroyed, d, &RequestManagerPrivate::request_destroyed);

    // A short deadline must not wait behind a long one that armed the timer first.
    if (!d->m_timer.isActive() || earliest)
        d->m_timer.start(int(ms));
}

void RequestManager::drop(Request *request)
{
    delete request;
}

QList<Request *> RequestManager::requests() const
{
    QList<Request *> result;
    result.reserve(int(d->m_queue.size()));
    for (const auto &entry : d->m_queue)
        result.append(entry.second);
    return result;
}

RequestManagerPrivate::RequestManagerPrivate(RequestManager *manager)
    : QObject(manager)
    , q(manager)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RequestManagerPrivate::timer_timeout);
}

bool RequestManagerPrivate::forget(Request *request)
{
    const auto found = m_deadlines.constFind(request);
    if (found == m_deadlines.constEnd())
        return false;
    const quint64 deadline = found.value();
    m_deadlines.erase(found);
    auto range = m_queue.equal_range(deadline);
    for (auto it = range.first; it != range.second;) {
        if (it->second == request)
            it = m_queue.erase(it);
        else
            ++it;
    }
    return true;
}

void RequestManagerPrivate::unregister(Request *request)
{
    if (!m_deadlines.contains(request))
        return;
    const quint64 firstBefore = m_queue.begin()->first;
    forget(request);
    // Only a change of the earliest deadline moves the timer.
    if (m_deadlines.isEmpty())
        m_timer.stop();
    else if (m_queue.begin()->first != firstBefore)
        checkTimeouts();
}

void RequestManagerPrivate::checkTimeouts()
{
    const quint64 now = quint64(clock());
    while (!m_queue.empty() && m_queue.begin()->first < now) {
        Request *request = m_queue.begin()->second;
        m_deadlines.remove(request);
        m_queue.erase(m_queue.begin());
        // Finishing may register, finish or delete other requests; the loop looks at the queue afresh each time.
        request->requestFinished(Error(Error::Timeout, QString()));
    }
    if (m_deadlines.isEmpty()) {
        m_timer.stop();
        return;
    }
    const quint64 first = m_queue.begin()->first;
    m_timer.start(first > now ? int(first - now) : 0);
}

void RequestManagerPrivate::request_finished()
{
    auto *request = static_cast<Request *>(sender());
    if (!request)
        return;
    unregister(request);
    request->m_finished = 1;
    // Later emissions, destroyed() included, must no longer reach the manager.
    disconnect(request, nullptr, this, nullptr);
    if (request->m_autoDelete)
        request->deleteLater();
}

void RequestManagerPrivate::request_destroyed()
{
    // The sender is already down to its QObject part, so no cast may look at its dynamic type: its address
    // serves only as a key (QObject is Request's first and only base, so the addresses agree).
    unregister(reinterpret_cast<Request *>(sender()));
}

void RequestManagerPrivate::timer_timeout()
{
    checkTimeouts();
}

} // namespace Velmor
