#include "timezone.h"

#include <time.h>

namespace Velmor {
namespace Platform {

int timeZoneBias()
{
    ::tzset();
    // The C library keeps the zone's standard offset apart from its daylight rule, in seconds west of UTC.
    return int(::timezone / 60);
}

} // namespace Platform
} // namespace Velmor
