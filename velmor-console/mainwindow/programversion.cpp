#include "programversion.h"

QString displayedVersion(const QString &version)
{
    return version.contains(QLatin1Char('.')) ? version : version + QLatin1String(".0");
}
