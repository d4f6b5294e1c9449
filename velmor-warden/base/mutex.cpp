#include "mutex.h"

namespace Velmor {

mutex::mutex() = default;

mutex::~mutex() = default;

void mutex::lock() const
{
    m_lock.lock();
}

void mutex::unlock() const
{
    m_lock.unlock();
}

} // namespace Velmor
