#include "dnsclock.h"

#include "velmorwire/request.h"
#include "velmorwire/requestmanager.h"

namespace Velmor {
namespace DNS {

namespace {
Clock currentClock = &Velmor::monotonicTime;
}

qint64 now()
{
    return currentClock();
}

void setClock(Clock clock)
{
    currentClock = clock ? clock : &Velmor::monotonicTime;
}

} // namespace DNS
} // namespace Velmor
