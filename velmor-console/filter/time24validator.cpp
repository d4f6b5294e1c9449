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
    const QStringList parts = input.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return Invalid;
    QString hours = parts.at(0);
    QString minutes = parts.at(1);

    // Corrected minutes leave the cursor alone: under the mask the next typed digit must land behind the one
    // just typed, not overwrite the first.
    int value = 0;
    if (!readNumber(minutes, &value) || value == 0)
        minutes = QStringLiteral("00");
    else if (value > 45)
        minutes = QStringLiteral("45");
    else if (value % 15 != 0)
        minutes = QString::number((value + 7) / 15 * 15);

    if (!readNumber(hours, &value)) {
        hours = QStringLiteral("00");
        pos = 0;
    } else if (value > 24 || (value == 24 && minutes.toInt() != 0)) {
        hours = QStringLiteral("24");
        minutes = QStringLiteral("00");
        pos = 3;
    }

    if (hours.isEmpty() || minutes.isEmpty())
        return Intermediate;
    input = hours + QLatin1Char(':') + minutes;
    pos = qMin(pos, int(input.size()));
    return Acceptable;
}
