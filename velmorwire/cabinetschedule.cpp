#include "cabinetschedule.h"

#include "accountdata_p.h"

#include <QVariantMap>

namespace Velmor {

namespace {

// "hh:mm" with hours 0-23 and minutes 00-59. The hour may lack its leading zero ("7:30"), which Qt 4's
// QTime::fromString took and Qt 6's refuses; a stored day must not lose its time over that.
bool isValidTime(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 1 || colon > 2 || text.size() != colon + 3)
        return false;
    int hours = 0;
    int minutes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == colon)
            continue;
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        int &field = i < colon ? hours : minutes;
        field = field * 10 + (c.unicode() - '0');
    }
    return hours <= 23 && minutes <= 59;
}

} // namespace

CabinetScheduleDay::CabinetScheduleDay()
    : isProfileOn(true)
    , timeFrom(QStringLiteral("00:00"))
    , timeTo(QStringLiteral("24:00"))
{ }

bool CabinetScheduleDay::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    const QVariant on = map.value(QStringLiteral("is_profile_on"));
    if (on.typeId() != QMetaType::Bool)
        return false;
    isProfileOn = on.toBool();
    const QString from = map.value(QStringLiteral("time_from")).toString();
    if (isValidTime(from))
        timeFrom = from;
    const QString to = map.value(QStringLiteral("time_to")).toString();
    if (to == QLatin1String("24:00") || isValidTime(to))
        timeTo = to;
    return !timeFrom.isEmpty() && !timeTo.isEmpty();
}

QVariant CabinetScheduleDay::toVariant() const
{
    QVariantMap map;
    map.insert(QStringLiteral("is_profile_on"), isProfileOn);
    map.insert(QStringLiteral("time_from"), timeFrom);
    map.insert(QStringLiteral("time_to"), timeTo);
    return map;
}

bool CabinetScheduleDay::operator==(const CabinetScheduleDay &other) const
{
    return isProfileOn == other.isProfileOn && timeFrom == other.timeFrom && timeTo == other.timeTo;
}

CabinetSchedule::CabinetSchedule(const CabinetSchedule &other) = default;

bool CabinetSchedule::fromVariant(const QVariant &value)
{
    clear();
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    const qsizetype days = value.toList().size();
    if (days != 0 && days != 7)
        return false;
    // All or nothing: a week with a hole would put every later day on the wrong weekday.
    return Internal::readList(
        value, this, [](const QVariant &element, CabinetScheduleDay *day) { return day->fromVariant(element); });
}

QVariant CabinetSchedule::toVariant() const
{
    return Internal::writeList(*this);
}

} // namespace Velmor
