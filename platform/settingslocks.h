#ifndef VELMOR_PLATFORM_SETTINGSLOCKS_H
#define VELMOR_PLATFORM_SETTINGSLOCKS_H

#include <QString>

namespace Velmor {
namespace Platform {

// Removes the lock files of settings stores below directory that a process killed while taking the lock left
// empty. Qt takes such a file for held until it is 30 seconds old, so every settings write of the next start
// would wait that long. A file counts as abandoned when it is empty, older than a moment and not locked by
// anyone: a live holder keeps a lock on it from right after creating it. A younger one is looked at again once it
// is old enough, so the call may take that moment (100 ms).
void clearAbandonedSettingsLocks(const QString &directory);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SETTINGSLOCKS_H
