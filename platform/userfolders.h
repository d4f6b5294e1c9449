#ifndef VELMOR_PLATFORM_USERFOLDERS_H
#define VELMOR_PLATFORM_USERFOLDERS_H

#include <QString>

namespace Velmor {
namespace Platform {

// The simulated user's temporary folder, <root>/appdata/Temp, mode 0700: in a shared /tmp another user could
// take a file's name first. Empty when it cannot be made private.
QString userTempPath();

// APPDATA of the simulated user: <root>/roaming, mode 0700, apart from the local application data as on Windows.
// Empty when it cannot be made private.
QString roamingAppDataPath();

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_USERFOLDERS_H
