#ifndef VELMOR_SYSINFO_P_H
#define VELMOR_SYSINFO_P_H

#include "velmorwire_global.h"

#include <QString>

namespace Velmor {
namespace SysInfoPrivate {

// The Windows version code the simulated machine reports (QSysInfo::WinVersion numbering).
constexpr int WindowsVersion = 0x0090;

// The query tool's path: beside the running program first, then on PATH; empty when there is none.
VELMORWIRE_EXPORT QString queryTool();

// SysInfo::systemLog() with a time limit of the caller's choice.
VELMORWIRE_EXPORT QString systemLog(int timeoutMs);

// Cuts each line of the text from "setCredentials" to its end, the line feed kept.
VELMORWIRE_EXPORT QString redacted(const QString &text);

} // namespace SysInfoPrivate
} // namespace Velmor

#endif // VELMOR_SYSINFO_P_H
