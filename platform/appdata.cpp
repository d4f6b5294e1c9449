#include "appdata.h"

#include "privatefolder.h"
#include "root.h"

namespace Velmor {
namespace Platform {

QString localAppDataPath()
{
    return localAppDataPath(QStringList());
}

QString localAppDataPath(const QStringList &levels)
{
    return privateFolderPath(rootPath(), QStringList { QStringLiteral("appdata") } + levels);
}

} // namespace Platform
} // namespace Velmor
