#ifndef VELMOR_PLATFORM_APPDATA_H
#define VELMOR_PLATFORM_APPDATA_H

#include <QString>
#include <QStringList>

namespace Velmor {
namespace Platform {

// The local application data folder of the account the programs run as: <root>/appdata, mode 0700. Empty
// when it cannot be made private.
QString localAppDataPath();

// A folder below the local application data folder, every level made 0700 (see openPrivateFolder); empty when
// it cannot be made private.
QString localAppDataPath(const QStringList &levels);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_APPDATA_H
