#include "servicesettings.h"

#include <QFile>
#include <QSettings>
#include <QVariant>

namespace {

const int MaximumGroupDepth = 64;

} // namespace

bool copySettings(QSettings &source, QSettings &destination)
{
    // Without recursion, and only so deep: one key of service.ini nested thousands of levels must not exhaust the
    // stack, nor make the copy take the square of its depth.
    bool complete = true;
    QStringList pending { QString() };
    while (!pending.isEmpty()) {
        const QString group = pending.takeLast();
        if (!group.isEmpty()) {
            source.beginGroup(group);
            destination.beginGroup(group);
        }
        const int depth = group.isEmpty() ? 0 : int(group.count(QLatin1Char('/'))) + 1;
        const QStringList groups = source.childGroups();
        for (const QString &child : groups) {
            // A key with an empty part ("a//b", "/x") shows as a group without a name, which cannot be entered:
            // descending into it would copy the same group again and again. Its keys cannot be read either.
            if (child.isEmpty())
                continue;
            if (depth == MaximumGroupDepth) {
                complete = false;
                continue;
            }
            pending.append(group.isEmpty() ? child : group + QLatin1Char('/') + child);
        }
        const QStringList keys = source.childKeys();
        for (const QString &key : keys) {
            const QVariant value = source.value(key);
            if (value != destination.value(key))
                destination.setValue(key, value);
        }
        if (!group.isEmpty()) {
            destination.endGroup();
            source.endGroup();
        }
    }
    return complete;
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

bool prepareServiceSettings(const QString &directory, QString *error)
{
    QSettings settings;
    // Whatever QSettings writes replaces the whole file: over a store it could not read, that would lose the keys it
    // did not get to.
    if (settings.status() != QSettings::NoError) {
        if (error) {
            *error = QStringLiteral("the settings store %1 cannot be read (%2); its values are kept as they are")
                         .arg(settings.fileName(),
                             settings.status() == QSettings::AccessError ? QLatin1String("access error")
                                                                         : QLatin1String("format error"));
        }
        return false;
    }
    const QString overridePath = directory + QLatin1String("/service.ini");
    if (QFile::exists(overridePath)) {
        qWarning("reading service.ini and override settings");
        QSettings overrides(overridePath, QSettings::IniFormat);
        overrides.beginGroup(QStringLiteral("global"));
        if (!copySettings(overrides, settings))
            qWarning("service.ini: groups nested deeper than 64 levels are not copied");
    }
    const QList<Default> table = defaults();
    for (const Default &entry : table) {
        const QString key = QLatin1String(entry.key);
        if (!settings.contains(key))
            settings.setValue(key, entry.value);
    }
    settings.sync();
    return true;
}

} // namespace Velmor
