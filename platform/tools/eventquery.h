#ifndef VELMOR_PLATFORM_EVENTQUERY_H
#define VELMOR_PLATFORM_EVENTQUERY_H

#include "platform/eventlog.h"

#include <QDateTime>
#include <QString>

namespace Velmor {
namespace Platform {

// The event-log queries the programs issue: "*", or "*[System[...]]" holding a provider's name, a time span,
// or both joined by "and", e.g.
//   *[System[Provider[@Name='Velmor Agent'] and TimeCreated[timediff(@SystemTime) <= 86400000]]]
class EventQuery
{
public:
    // False for any other query.
    bool parse(const QString &text);

    bool matches(const EventLog::Entry &entry, const QDateTime &now) const;

private:
    bool parseTerm(const QString &text, qsizetype *position);

    QString m_provider;
    bool m_byProvider = false;
    qint64 m_maximumAgeMs = -1;
};

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_EVENTQUERY_H
