#ifndef VELMOR_SYSINFO_H
#define VELMOR_SYSINFO_H

#include "velmorwire_global.h"

#include <QByteArray>
#include <QString>

namespace Velmor {

// What both programs say about the machine they run on.
class VELMORWIRE_EXPORT SysInfo
{
public:
    // The HTTP user agent, Latin-1: product version, product word and Windows version code.
    static const QByteArray &userAgent();

    // The service's Application event-log entries of the last 24 hours as the query tool prints them, with the
    // rest of every line from "setCredentials" on cut out; "<unimplemented>" when the tool cannot deliver.
    // Blocks for as long as the tool runs, at most 30 seconds.
    static QString systemLog();
};

} // namespace Velmor

#endif // VELMOR_SYSINFO_H
