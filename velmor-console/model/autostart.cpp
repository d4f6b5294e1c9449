#include "autostart.h"

#include "platform/registry.h"

#include <QCoreApplication>
#include <QDir>

namespace {

const QString runKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString valueName = QStringLiteral("Velmor Agent");

} // namespace

bool isAutostartEnabled()
{
    Velmor::Platform::Registry::Value value;
    return Velmor::Platform::Registry::queryValue(runKey, valueName, &value) == 0;
}

void setAutostartEnabled(bool enabled)
{
    using namespace Velmor::Platform;
    if (!enabled) {
        Registry::deleteValue(runKey, valueName);
        return;
    }
    const QString program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    if (Registry::createKey(runKey) == 0)
        Registry::setString(runKey, valueName, QLatin1Char('"') + program + QLatin1String("\" -h"));
}
