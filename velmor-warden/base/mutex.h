#ifndef VELMOR_MUTEX_H
#define VELMOR_MUTEX_H

#include <QtGlobal>

#include <mutex>

namespace Velmor {

// A process-local lock that its owning thread may take again, as a Windows mutex allows.
class mutex
{
public:
    mutex();
    ~mutex();

    void lock() const;
    void unlock() const;

private:
    Q_DISABLE_COPY(mutex)

    mutable std::recursive_mutex m_lock;
};

} // namespace Velmor

#endif // VELMOR_MUTEX_H
