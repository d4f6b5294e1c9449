#include "eventwaiter.h"
#include "eventwaiter_p.h"

#include "logger.h"

#include <QVarLengthArray>

#include <mutex>
#include <system_error>

namespace Velmor {

namespace {

// The waiter whose worker runs on this thread, so a callback that tries to re-register is refused instead of
// waiting for its own thread to end.
thread_local const EventWaiterPrivate *servedWaiter = nullptr;

} // namespace

EventWaiterPrivate::EventWaiterPrivate()
    : wakeEvent(Platform::createEvent(false, false))
{ }

EventWaiterPrivate::~EventWaiterPrivate()
{
    stopWorker();
    if (wakeEvent != Platform::InvalidHandle)
        Platform::closeHandle(wakeEvent);
}

void EventWaiterPrivate::stopWorker()
{
    if (worker.get_id() != 0) {
        Platform::setEvent(wakeEvent);
        worker.join();
    }
    // A worker that ended through a failed wait leaves the signal just set untaken; every later worker would
    // then end at once, and registered events would never be served again.
    Platform::resetEvent(wakeEvent);
}

bool EventWaiterPrivate::restartWorker()
{
    stopWorker();
    if (wakeEvent == Platform::InvalidHandle)
        return false;
    try {
        worker = thread([this] { waitLoop(); });
    } catch (const std::system_error &error) {
        Logger::write(Logger::CriticalMsg, "Cannot start the event waiter: %s\n", error.what());
        return false;
    }
    return true;
}

void EventWaiterPrivate::waitLoop()
{
    servedWaiter = this;
    // A snapshot: registration changes reach the worker through a restart.
    QVarLengthArray<Platform::Handle, Platform::MaximumWaitObjects> handles;
    {
        std::lock_guard<mutex> guard(lock);
        handles.append(wakeEvent);
        for (auto it = registrations.cbegin(); it != registrations.cend(); ++it)
            handles.append(it.key());
    }
    for (;;) {
        const int index
            = Platform::waitForMultipleObjects(handles.constData(), int(handles.size()), Platform::Infinite);
        // The wake event, or a failed wait (a handle closed behind the waiter's back).
        if (index <= 0)
            break;
        std::function<void()> function;
        {
            std::lock_guard<mutex> guard(lock);
            function = registrations.value(handles.at(index));
        }
        if (function)
            function();
    }
    servedWaiter = nullptr;
}

EventWaiter *EventWaiter::instance()
{
    // Lives until the process ends, as the handles it serves may.
    static EventWaiter *waiter = new EventWaiter;
    return waiter;
}

EventWaiter::EventWaiter()
    : d(new EventWaiterPrivate)
{ }

EventWaiter::~EventWaiter()
{
    delete d;
}

bool EventWaiter::addEvent(Platform::Handle handle, const std::function<void()> &function)
{
    if (servedWaiter == d)
        return false;
    {
        std::lock_guard<mutex> guard(d->lock);
        // One more would make every wait fail, and no registered event would be served any more.
        if (!d->registrations.contains(handle) && d->registrations.size() >= MaximumEvents)
            return false;
        d->registrations.insert(handle, function);
    }
    return d->restartWorker();
}

bool EventWaiter::removeEvent(Platform::Handle handle)
{
    if (servedWaiter == d)
        return false;
    {
        std::lock_guard<mutex> guard(d->lock);
        d->registrations.remove(handle);
    }
    return d->restartWorker();
}

} // namespace Velmor
