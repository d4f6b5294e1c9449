#include "thread.h"

#include <atomic>
#include <cerrno>
#include <exception>
#include <system_error>

#include <pthread.h>
#include <unistd.h>

namespace Velmor {

// Shared with the running thread, so the thread can report its end whatever became of the object that started it.
struct thread::Native
{
    pthread_t handle;
    std::atomic<bool> running { true };
};

thread::thread() noexcept = default;

thread::thread(const std::function<void()> &function)
    : m_function(function)
{
    if (!m_function)
        throw std::system_error(EINVAL, std::generic_category(), "Not null function expected");
    m_started = Platform::createEvent(false, false);
    if (m_started == Platform::InvalidHandle)
        throw std::system_error(errno, std::generic_category(), "Cannot create the thread start event");
    m_native = std::make_shared<Native>();
    const int result = ::pthread_create(&m_native->handle, nullptr, &thread::start, this);
    if (result != 0) {
        m_native.reset();
        Platform::closeHandle(m_started);
        m_started = Platform::InvalidHandle;
        throw std::system_error(result, std::generic_category(), "Cannot start a thread");
    }
    // Until the new thread has copied what it needs, this object must stay where it is.
    Platform::waitForSingleObject(m_started, Platform::Infinite);
}

thread::~thread()
{
    if (joinable())
        std::terminate();
    if (m_native) {
        // The thread has ended or is ending by itself; its system resources still have to be released.
        if (m_id == id())
            ::pthread_detach(m_native->handle);
        else
            ::pthread_join(m_native->handle, nullptr);
    }
    if (m_started != Platform::InvalidHandle)
        Platform::closeHandle(m_started);
}

thread &thread::operator=(thread &&other)
{
    if (joinable())
        std::terminate();
    swap(other);
    return *this;
}

bool thread::joinable() const
{
    return m_id != 0 && m_id != id() && m_native && m_native->running.load(std::memory_order_acquire);
}

void thread::join()
{
    if (m_native) {
        if (m_id == id())
            throw std::system_error(EDEADLK, std::generic_category(), "A thread cannot join itself");
        ::pthread_join(m_native->handle, nullptr);
        m_native.reset();
    }
    m_id = 0;
}

quint32 thread::get_id() const
{
    return m_id;
}

quint32 thread::id()
{
    return quint32(::gettid());
}

void thread::swap(thread &other) noexcept
{
    std::swap(m_id, other.m_id);
    std::swap(m_native, other.m_native);
}

void *thread::start(void *self)
{
    thread *owner = static_cast<thread *>(self);
    const std::shared_ptr<Native> native = owner->m_native;
    {
        const std::function<void()> function = owner->m_function;
        owner->m_id = id();
        Platform::setEvent(owner->m_started);
        // From here on the owner may be moved from or destroyed.
        function();
    }
    native->running.store(false, std::memory_order_release);
    return nullptr;
}

} // namespace Velmor
