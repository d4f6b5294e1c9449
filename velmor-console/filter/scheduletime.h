#ifndef VELMOR_CONSOLE_SCHEDULETIME_H
#define VELMOR_CONSOLE_SCHEDULETIME_H

#include <QString>

// Times of the weekly schedule counted in quarter hours: 0 is "00:00", 96 is "24:00". Texts are split at ":",
// never read with QTime, which refuses "7:30" and "24:00".
namespace ScheduleTime {

enum : int {
    QuartersPerDay = 96,
    // The service keeps "00:00" for a start of "24:00", so no period starts later than 23:45.
    LastStart = 95,
};

// Hours × 4 + minutes / 15, the minutes truncated to their quarter, within 0 to 96; 0 for a text without ":".
int quarterOf(const QString &text);
// "hh:mm" of a quarter.
QString textOf(int quarter);
// Two-digit hours, as the fields show them: "7:30" becomes "07:30". Any other text stays as it is.
QString normalized(const QString &text);

} // namespace ScheduleTime

#endif // VELMOR_CONSOLE_SCHEDULETIME_H
