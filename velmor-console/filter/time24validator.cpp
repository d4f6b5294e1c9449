#include "time24validator.h"

namespace {

// A decimal number, blanks around it not counting.
bool readNumber(const QString &part, int *value)
{
    const QString digits = part.trimmed();
    if (digits.isEmpty())
        return false;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    // Any longer run of digits is above every bound checked.
    *value = digits.size() > 6 ? 999999 : digits.toInt();
    return true;
}

} // namespace

Time24Validator::Time24Validator(QObject *parent)
    : QValidator(parent)
{ }

QValidator::State Time24Validator::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos)
    // What is typed stays as typed: a time out of range is not turned into another one, it only is not taken.
    const QStringList parts = input.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return Invalid;
    int hours = 0;
    int minutes = 0;
    const bool whole
        = readNumber(parts.at(0), &hours) && readNumber(parts.at(1), &minutes) && parts.at(1).trimmed().size() == 2;
    for (const QString &part : parts) {
        for (const QChar c : part) {
            if (c != QLatin1Char(' ') && (c < QLatin1Char('0') || c > QLatin1Char('9')))
                return Invalid;
        }
    }
    if (!whole || hours > 24 || minutes % 15 != 0 || minutes > 45 || (hours == 24 && minutes != 0))
        return Intermediate;
    return Acceptable;
}
