#ifndef VELMOR_CABINETSCHEDULE_H
#define VELMOR_CABINETSCHEDULE_H

#include "velmorwire_global.h"

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVector>

namespace Velmor {

// One day of a profile's weekly schedule. The times stay the texts received ("hh:mm", "24:00" as an end).
class VELMORWIRE_EXPORT CabinetScheduleDay
{
public:
    CabinetScheduleDay();

    // A time that is not a valid "hh:mm" keeps the day's current one; only a missing or non-boolean
    // "is_profile_on" makes a fresh day fail.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;

    // Texts compared exactly: "7:30" and "07:30" differ.
    bool operator==(const CabinetScheduleDay &other) const;
    bool operator!=(const CabinetScheduleDay &other) const { return !(*this == other); }

    bool isProfileOn;
    QString timeFrom;
    QString timeTo;
};

// Seven days from Monday (element 0) to Sunday, or none: check the size before indexing.
class VELMORWIRE_EXPORT CabinetSchedule : public QVector<CabinetScheduleDay>
{
public:
    CabinetSchedule() = default;
    CabinetSchedule(const CabinetSchedule &other);
    CabinetSchedule &operator=(const CabinetSchedule &other) = default;

    // On false the schedule is empty, never a partial week.
    bool fromVariant(const QVariant &value);
    QVariant toVariant() const;
};

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::CabinetScheduleDay)
Q_DECLARE_METATYPE(Velmor::CabinetSchedule)

#endif // VELMOR_CABINETSCHEDULE_H
