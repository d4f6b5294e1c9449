#include "scheduletime.h"

#include <QStringList>

namespace ScheduleTime {

namespace {

bool readPart(const QString &part, int *value)
{
    bool ok = false;
    *value = part.trimmed().toInt(&ok);
    return ok && *value >= 0;
}

} // namespace

int quarterOf(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    int hours = 0;
    int minutes = 0;
    if (parts.size() != 2 || !readPart(parts.at(0), &hours) || !readPart(parts.at(1), &minutes))
        return 0;
    if (hours >= 24)
        return QuartersPerDay;
    return qMin(hours * 4 + qMin(minutes, 60) / 15, int(QuartersPerDay));
}

QString textOf(int quarter)
{
    quarter = qBound(0, quarter, int(QuartersPerDay));
    return QStringLiteral("%1:%2")
        .arg(quarter / 4, 2, 10, QLatin1Char('0'))
        .arg(quarter * 15 % 60, 2, 10, QLatin1Char('0'));
}

QString normalized(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon != 1 || !text.at(0).isDigit())
        return text;
    return QLatin1Char('0') + text;
}

} // namespace ScheduleTime
