#include "servicesettings.h"

#include <QFile>
#include <QSettings>
#include <QVariant>

void copySettings(QSettings &source, QSettings &destination)
{
    const QStringList groups = source.childGroups();
    for (const QString &group : groups) {
        // A key with an empty part ("a//b", "/x") shows as a group without a name, which cannot be entered:
        // descending into it would copy the same group again and again. Its keys cannot be read either.
        if (group.isEmpty())
            continue;
        source.beginGroup(group);
        destination.beginGroup(group);
        copySettings(source, destination);
        destination.endGroup();
        source.endGroup();
    }
    const QStringList keys = source.childKeys();
    for (const QString &key : keys) {
        const QVariant value = source.value(key);
        if (value != destination.value(key))
            destination.setValue(key, value);
    }
}

namespace Velmor {

namespace {

struct Default
{
    const char *key;
    QVariant value;
};

// In the byte order of the key names, the order they are written in. The two outside endpoints are placeholders
// from the ranges reserved for documentation: a deployment names the real ones in service.ini.
QList<Default> defaults()
{
    return {
        { "dd-hostname", QStringLiteral("VelmorAgent") },
        { "fallback-dns", QStringLiteral("8.8.8.8") },
        { "httpd-port", 13107 },
        { "localproxy-addr", QStringLiteral("127.0.0.1:53") },
        { "password", QStringLiteral("") },
        { "profile", 0 },
        { "settings-protected", true },
        { "tokens-enabled", true },
        { "user", QStringLiteral("") },
        { "vyrproxy-addr", QStringLiteral("198.51.100.53") },
        { "www", QStringLiteral("https://my.velmor.example") },
        { "www-ignore-ssl-errors", false },
    };
}

} // namespace

void prepareServiceSettings(const QString &directory)
{
    QSettings settings;
    const QString overridePath = directory + QLatin1String("/service.ini");
    if (QFile::exists(overridePath)) {
        qWarning("reading service.ini and override settings");
        QSettings overrides(overridePath, QSettings::IniFormat);
        overrides.beginGroup(QStringLiteral("global"));
        copySettings(overrides, settings);
    }
    const QList<Default> table = defaults();
    for (const Default &entry : table) {
        const QString key = QLatin1String(entry.key);
        if (!settings.contains(key))
            settings.setValue(key, entry.value);
    }
    settings.sync();
}

} // namespace Velmor
