#include "checkbrowserssettings.h"

#include "platform/registry.h"
#include "platform/userfolders.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

using namespace Velmor::Platform;

bool CheckBrowsersSettings::test()
{
    const BrowserProxyPatterns patterns(allInstalledPrograms());
    const BrowserProxySettings opera = operaProxySettings(patterns);
    const BrowserProxySettings firefox = firefoxProxySettings(patterns);
    if (opera.hasProxy())
        log += QStringLiteral("Opera proxy settings:\n%1").arg(opera.toText()) + QLatin1Char('\n');
    if (firefox.hasProxy())
        log += QStringLiteral("FireFox proxy settings:\n%1").arg(firefox.toText());
    const bool comodoDragon = isComodoDragonInstalled(patterns.installedPrograms);
    if (comodoDragon)
        log += QLatin1String("Comodo Dragon is installed.\n");
    return !opera.hasProxy() && !firefox.hasProxy() && !comodoDragon;
}

QStringList installedPrograms(const QString &key)
{
    QStringList programs;
    QStringList subkeys;
    if (Registry::subKeyNames(key, &subkeys) != ErrorSuccess)
        return programs;
    for (const QString &subkey : std::as_const(subkeys)) {
        Registry::Value value;
        if (Registry::queryValue(key + QLatin1Char('\\') + subkey, QStringLiteral("DisplayName"), &value)
                == ErrorSuccess
            && value.type == Registry::String && !value.text.isEmpty())
            programs.append(value.text);
    }
    return programs;
}

QStringList allInstalledPrograms()
{
    return installedPrograms(
               QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"))
        + installedPrograms(
            QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
}

QString findInstalledProgram(const QStringList &programs, const QString &prefix)
{
    for (const QString &program : programs) {
        if (program.startsWith(prefix, Qt::CaseInsensitive))
            return program;
    }
    return QString();
}

bool isComodoDragonInstalled(const QStringList &programs)
{
    return !findInstalledProgram(programs, QStringLiteral("comodo dragon")).isEmpty();
}

QStringList browserSettingsFiles(int kind)
{
    const QString appData = roamingAppDataPath();
    if (appData.isEmpty())
        return QStringList();
    if (kind == BrowserProxySettings::Opera)
        return findFiles(appData + QStringLiteral("/Opera/Opera/"), QStringLiteral("operaprefs.ini"), false);
    if (kind == BrowserProxySettings::Firefox)
        return findFiles(appData + QStringLiteral("/Mozilla/Firefox/Profiles/"), QStringLiteral("prefs.js"), false);
    return QStringList();
}

QStringList findFiles(const QString &dir, const QString &name, bool noRecurse)
{
    QStringList found;
    const QFileInfoList entries = QDir(dir).entryInfoList();
    for (const QFileInfo &entry : entries) {
        if (entry.fileName() == QLatin1String(".") || entry.fileName() == QLatin1String(".."))
            continue;
        const QString path = entry.absoluteFilePath();
        if (entry.isDir() && !noRecurse)
            found += findFiles(path, name, true);
        if (path.endsWith(name))
            found.append(path);
    }
    return found;
}

BrowserProxySettings browserProxySettings(const BrowserProxyPatterns &patterns, int kind, const QString &prefix)
{
    BrowserProxySettings result;
    if (findInstalledProgram(patterns.installedPrograms, prefix).isEmpty())
        return result;
    const QStringList files = browserSettingsFiles(kind);
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QTextStream stream(&file);
        QString line;
        while (stream.readLineInto(&line))
            result.merge(BrowserProxySettings::fromLine(patterns, kind, line));
    }
    return result;
}

BrowserProxySettings operaProxySettings(const BrowserProxyPatterns &patterns)
{
    return browserProxySettings(patterns, BrowserProxySettings::Opera, QStringLiteral("opera"));
}

BrowserProxySettings firefoxProxySettings(const BrowserProxyPatterns &patterns)
{
    return browserProxySettings(patterns, BrowserProxySettings::Firefox, QStringLiteral("mozilla"));
}
