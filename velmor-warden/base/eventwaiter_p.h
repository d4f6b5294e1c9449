#ifndef VELMOR_EVENTWAITER_P_H
#define VELMOR_EVENTWAITER_P_H

#include "mutex.h"
#include "thread.h"

#include "platform/kernelevent.h"

#include <QHash>

#include <functional>

namespace Velmor {

class EventWaiterPrivate
{
public:
    EventWaiterPrivate();
    ~EventWaiterPrivate();

    void stopWorker();
    bool restartWorker();
    void waitLoop();

    // The only data the worker shares with the registering thread; guarded by lock.
    QHash<Platform::Handle, std::function<void()>> registrations;
    mutex lock;
    Platform::Handle wakeEvent;
    // Touched by the registering thread only.
    thread worker;
};

} // namespace Velmor

#endif // VELMOR_EVENTWAITER_P_H
