#include "settingsstore.h"

#include "root.h"
#include "settingslocks.h"

#include <QSettings>
#include <QStringList>

namespace Velmor {
namespace Platform {

void useRootSettings()
{
    const QString settings = rootPath(QStringLiteral("settings"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings);
    // The system scope is read as a fallback; it must not reach the computer's own /etc/xdg.
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, settings + QLatin1String("/system"));
    clearAbandonedSettingsLocks(settings);
}

QString settingText(const QSettings &settings, const QString &key, const QString &defaultValue)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return defaultValue;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

} // namespace Platform
} // namespace Velmor
