#ifndef VELMOR_PLATFORM_SETTINGSSTORE_H
#define VELMOR_PLATFORM_SETTINGSSTORE_H

#include <QString>

class QSettings;

namespace Velmor {
namespace Platform {

// Points every QSettings store of the process at <root>/settings, in INI format, so that QSettings() with no
// arguments opens <root>/settings/<organisation>/<application>.ini ("Velmor"/"Service", "Velmor"/"Agent") and a
// test's root holds all its state. Called once at program start, after the root is known and, so that the default
// store is prepared as prepareSettingsFile() does, after the organisation and application names are set.
void useRootSettings();

// Makes a settings store private (0600) before QSettings first writes it: QSettings replaces its file atomically,
// keeping the mode of an existing file but giving a new one the mode the umask leaves. A missing file is made
// empty, an existing one of this user gets the mode; false for anything else at that place (a folder, a link).
bool prepareSettingsFile(const QString &fileName);

// A single-value key as text. The INI reader returns a value holding commas, such as "fallback-dns=a,b", as a
// list of its items; such a value is read as the items joined with ",". Absent keys give defaultValue.
QString settingText(const QSettings &settings, const QString &key, const QString &defaultValue = QString());

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SETTINGSSTORE_H
