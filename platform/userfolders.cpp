#include "userfolders.h"

#include "appdata.h"
#include "privatefolder.h"
#include "root.h"

namespace Velmor {
namespace Platform {

QString userTempPath()
{
    return localAppDataPath(QStringList { QStringLiteral("Temp") });
}

QString roamingAppDataPath()
{
    return privateFolderPath(rootPath(), QStringList { QStringLiteral("roaming") });
}

} // namespace Platform
} // namespace Velmor
