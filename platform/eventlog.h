#ifndef VELMOR_PLATFORM_EVENTLOG_H
#define VELMOR_PLATFORM_EVENTLOG_H

#include <QDateTime>
#include <QList>
#include <QString>

namespace Velmor {
namespace Platform {

// The Application event log: <root>/eventlog/Application.log, one line per entry:
//   <UTC time, ISO 8601 with milliseconds> TAB <source> TAB <type> TAB <event id> TAB <text>
// where backslash, tab, carriage return and line feed in source and text are written as \\, \t, \r and \n.
namespace EventLog {

enum Type { Success = 0, Error = 1, Warning = 2, Information = 4 };

struct Entry
{
    QDateTime time;
    QString source;
    Type type = Information;
    int id = 0;
    QString text;
};

// Appends one entry with a single write, so entries from several threads and processes never interleave. The
// text ends at its first zero character, as the system's own call reads it. The log is kept under a size limit
// of 20 MB: past it, the oldest entries are dropped until it is down to three quarters of that.
bool report(const QString &source, Type type, int id, const QString &text);
// The same with the time of the entry given, for entries written some time after they were made.
bool report(const QString &source, Type type, int id, const QString &text, const QDateTime &time);

// Every readable entry, oldest first; lines that are not entries are skipped.
QList<Entry> entries();

QString typeName(Type type);

} // namespace EventLog
} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_EVENTLOG_H
