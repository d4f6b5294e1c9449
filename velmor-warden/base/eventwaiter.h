#ifndef VELMOR_EVENTWAITER_H
#define VELMOR_EVENTWAITER_H

#include "platform/kernelevent.h"

#include <QtGlobal>

#include <functional>

namespace Velmor {

class EventWaiterPrivate;

// Runs a function on one worker thread each time a registered event becomes signalled. The functions run
// concurrently with the caller's thread and must hand their work over; they must not call addEvent or
// removeEvent, which wait for the worker to end.
class EventWaiter
{
public:
    // The handles a waiter serves at most: one wait takes MaximumWaitObjects, the waiter's own wake event among them.
    static constexpr int MaximumEvents = Platform::MaximumWaitObjects - 1;

    static EventWaiter *instance();

    EventWaiter();
    // Stops the worker.
    ~EventWaiter();

    // Registers the function of a handle, replacing the one registered before, and restarts the worker.
    // Returns false, leaving the registrations as they were, when MaximumEvents other handles are registered;
    // false too when no worker can be started, the registration then waiting for the next restart.
    bool addEvent(Platform::Handle handle, const std::function<void()> &function);
    // Drops the registration of a handle, if any, and restarts the worker; false when no worker can be started.
    bool removeEvent(Platform::Handle handle);

private:
    Q_DISABLE_COPY(EventWaiter)

    EventWaiterPrivate *d;
};

} // namespace Velmor

#endif // VELMOR_EVENTWAITER_H
