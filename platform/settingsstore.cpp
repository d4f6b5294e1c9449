#include "settingsstore.h"

#include "root.h"
#include "settingslocks.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <fcntl.h>
#include <unistd.h>

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
    // Not through a QSettings object: the first one to read a store is the one whose status() tells whether it read
    // cleanly, and that must be the program's own.
    const QString organisation = QCoreApplication::organizationName();
    const QString application = QCoreApplication::applicationName();
    if (!organisation.isEmpty() && !application.isEmpty())
        prepareSettingsFile(
            settings + QLatin1Char('/') + organisation + QLatin1Char('/') + application + QLatin1String(".ini"));
}

bool prepareSettingsFile(const QString &fileName)
{
    if (!ensureDir(QFileInfo(fileName).absolutePath(), PublicFolderMode))
        return false;
    const int fd = openFile(fileName, O_RDONLY | O_CREAT, PrivateFileMode);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
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
