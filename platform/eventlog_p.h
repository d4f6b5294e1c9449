#ifndef VELMOR_PLATFORM_EVENTLOG_P_H
#define VELMOR_PLATFORM_EVENTLOG_P_H

#include <QtGlobal>

namespace Velmor {
namespace Platform {
namespace EventLog {

// The size the log is kept under, as the system's Application log is by default.
constexpr qint64 DefaultSizeLimit = 20 * 1024 * 1024;

// For tests, which cannot wait for 20 MB of entries; 0 brings the default back.
void setSizeLimit(qint64 bytes);
qint64 sizeLimit();

} // namespace EventLog
} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_EVENTLOG_P_H
