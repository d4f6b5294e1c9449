#include "kernelevent.h"

#include <chrono>
#include <mutex>
#include <unordered_set>

#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

// eventfds carry no reset mode, so the auto-reset ones are remembered here; a wait consumes only those.
struct AutoResetEvents
{
    std::mutex lock;
    std::unordered_set<Handle> handles;
};

AutoResetEvents &autoResetEvents()
{
    static AutoResetEvents *events = new AutoResetEvents;
    return *events;
}

bool isAutoReset(Handle handle)
{
    AutoResetEvents &events = autoResetEvents();
    std::lock_guard<std::mutex> guard(events.lock);
    return events.handles.count(handle) != 0;
}

// Takes the signal of an eventfd; false when another wait took it first.
bool consume(Handle event)
{
    uint64_t count = 0;
    ssize_t got;
    do {
        got = ::read(event, &count, sizeof count);
    } while (got < 0 && errno == EINTR);
    return got == ssize_t(sizeof count);
}

int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

} // namespace

Handle createEvent(bool manualReset, bool initialState)
{
    const Handle event = ::eventfd(initialState ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (event < 0)
        return InvalidHandle;
    AutoResetEvents &events = autoResetEvents();
    std::lock_guard<std::mutex> guard(events.lock);
    if (manualReset)
        events.handles.erase(event);
    else
        events.handles.insert(event);
    return event;
}

bool setEvent(Handle event)
{
    const uint64_t one = 1;
    ssize_t written;
    do {
        written = ::write(event, &one, sizeof one);
    } while (written < 0 && errno == EINTR);
    return written == ssize_t(sizeof one);
}

bool resetEvent(Handle event)
{
    if (consume(event))
        return true;
    // Resetting an event that is not signalled succeeds, as on Windows.
    return errno == EAGAIN;
}

bool closeHandle(Handle handle)
{
    if (handle < 0) {
        errno = EBADF;
        return false;
    }
    {
        AutoResetEvents &events = autoResetEvents();
        std::lock_guard<std::mutex> guard(events.lock);
        events.handles.erase(handle);
    }
    return ::close(handle) == 0;
}

int waitForMultipleObjects(const Handle *handles, int count, int timeoutMs)
{
    if (count <= 0 || count > MaximumWaitObjects) {
        errno = EINVAL;
        return WaitFailed;
    }
    pollfd fds[MaximumWaitObjects];
    for (int i = 0; i < count; ++i) {
        // poll() skips negative descriptors silently; Windows fails the wait on an invalid handle.
        if (handles[i] < 0) {
            errno = EBADF;
            return WaitFailed;
        }
        fds[i].fd = handles[i];
        fds[i].events = POLLIN;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);

    for (;;) {
        for (int i = 0; i < count; ++i)
            fds[i].revents = 0;
        const int ready = ::poll(fds, nfds_t(count), timeoutMs < 0 ? -1 : remainingMs(deadline));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return WaitFailed;
        }
        if (ready == 0)
            return WaitTimeout;
        // A closed handle fails the whole wait before any signal is taken, so no event loses its signal.
        for (int i = 0; i < count; ++i) {
            if (fds[i].revents & POLLNVAL) {
                errno = EBADF;
                return WaitFailed;
            }
        }
        for (int i = 0; i < count; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (!isAutoReset(handles[i]) || consume(handles[i]))
                return i;
        }
        // Every signal seen was taken by another wait in the meantime: wait again for what time is left.
    }
}

int waitForSingleObject(Handle handle, int timeoutMs)
{
    return waitForMultipleObjects(&handle, 1, timeoutMs);
}

} // namespace Platform
} // namespace Velmor
