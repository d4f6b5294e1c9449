#ifndef VELMOR_PLATFORM_SETTINGSSTORE_H
#define VELMOR_PLATFORM_SETTINGSSTORE_H

#include <QString>

class QSettings;

namespace Velmor {
namespace Platform {

// Points every QSettings store of the process at <root>/settings, in INI format, so that QSettings() with no
// arguments opens <root>/settings/<organisation>/<application>.ini ("Velmor"/"Service", "Velmor"/"Agent") and a
// test's root holds all its state. Called once at program start, after the root is known.
void useRootSettings();

// A single-value key as text. The INI reader returns a value holding commas, such as "fallback-dns=a,b", as a
// list of its items; such a value is read as the items joined with ",". Absent keys give defaultValue.
QString settingText(const QSettings &settings, const QString &key, const QString &defaultValue = QString());

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SETTINGSSTORE_H
