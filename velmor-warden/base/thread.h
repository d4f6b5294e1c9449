#ifndef VELMOR_THREAD_H
#define VELMOR_THREAD_H

#include "platform/kernelevent.h"

#include <QtGlobal>

#include <functional>
#include <memory>

namespace Velmor {

// A system thread that runs a function object. Like std::thread, a thread that still runs must be joined
// before its object is destroyed or assigned to; otherwise the process ends (std::terminate).
class thread
{
public:
    thread() noexcept;
    // Returns once the new thread holds its own copy of the function. Throws std::system_error: code 22
    // ("Not null function expected") for an empty function, the system's code when no thread can be made.
    explicit thread(const std::function<void()> &function);
    ~thread();

    thread &operator=(thread &&other);

    // True while a thread is attached, still runs, and the caller is another thread.
    bool joinable() const;
    // Waits for the thread to end and detaches this object from it. Throws std::system_error (EDEADLK) when
    // called from that thread itself, which would otherwise wait forever.
    void join();

    // The attached thread's id, 0 when none is attached.
    quint32 get_id() const;
    static quint32 id();

    // Exchanges the attached threads; the function objects stay where they are.
    void swap(thread &other) noexcept;

private:
    Q_DISABLE_COPY(thread)

    struct Native;
    static void *start(void *self);

    quint32 m_id = 0;
    std::shared_ptr<Native> m_native;
    std::function<void()> m_function;
    Platform::Handle m_started = Platform::InvalidHandle;
};

} // namespace Velmor

#endif // VELMOR_THREAD_H
