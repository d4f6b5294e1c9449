#ifndef VELMOR_PLATFORM_KERNELEVENT_H
#define VELMOR_PLATFORM_KERNELEVENT_H

namespace Velmor {
namespace Platform {

// A kernel object as the Windows interfaces pass it around. Here it is a file descriptor: an event made by
// createEvent() is an eventfd, and any other descriptor that poll() can wait on is signalled while readable.
using Handle = int;

constexpr Handle InvalidHandle = -1;

// Results of the waits besides the index of the signalled handle.
constexpr int WaitFailed = -1;
constexpr int WaitTimeout = -2;

// The timeout that never expires.
constexpr int Infinite = -1;

// The most handles one wait accepts, as on Windows.
constexpr int MaximumWaitObjects = 64;

// An unnamed event. An auto-reset event releases one wait and is reset by it; a manual-reset event stays
// signalled until resetEvent(). Returns InvalidHandle with errno set when the system refuses.
Handle createEvent(bool manualReset, bool initialState);

bool setEvent(Handle event);
bool resetEvent(Handle event);
bool closeHandle(Handle handle);

// Waits until one of the handles is signalled and returns the lowest index among those that are, resetting it
// when it is an auto-reset event. Fails (WaitFailed, errno EINVAL or EBADF) for no handles, more than
// MaximumWaitObjects, or a handle that is not open; returns WaitTimeout when timeoutMs passes first.
int waitForMultipleObjects(const Handle *handles, int count, int timeoutMs);

// 0 when the handle became signalled, else WaitFailed or WaitTimeout.
int waitForSingleObject(Handle handle, int timeoutMs);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_KERNELEVENT_H
