#ifndef VELMOR_PLATFORM_TIMEZONE_H
#define VELMOR_PLATFORM_TIMEZONE_H

namespace Velmor {
namespace Platform {

// The Bias of the machine's time zone information: the minutes that turn local standard time into UTC, so
// minus the zone's offset east of UTC (UTC+3 gives -180). Daylight saving never counts, whatever the date.
// The zone is read again on every call, so a changed TZ applies at once.
int timeZoneBias();

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_TIMEZONE_H
