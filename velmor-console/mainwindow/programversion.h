#ifndef VELMOR_CONSOLE_PROGRAMVERSION_H
#define VELMOR_CONSOLE_PROGRAMVERSION_H

#include <QString>

// The desktop program's version, as the help page shows it and the updater compares it.
constexpr char programVersion[] = "2.3.63.4";

// A version as the help page shows it: one without any "." gets ".0", so it never reads as a bare number.
QString displayedVersion(const QString &version);

#endif // VELMOR_CONSOLE_PROGRAMVERSION_H
